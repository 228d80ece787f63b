#include "windows/listchooser.h"

#include "database/lists.h"
#include "support/state.h"

#include <QComboBox>

QComboBox* makeListChooser(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("Combo1"));
    for (int n = 1; n <= lists::kCount; ++n)
        combo->addItem(lists::chooserCaption(n));
    const int current = settings().lijst;
    combo->setCurrentIndex(lists::validList(current) ? current - 1 : 0);
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [](int index) {
        if (index >= 0)
            settings().lijst = index + 1;
    });
    return combo;
}
