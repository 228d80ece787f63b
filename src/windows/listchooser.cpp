#include "windows/listchooser.h"

#include "database/lists.h"
#include "database/settingsrow.h"
#include "runs/options.h"
#include "support/changes.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "windows/frmoptions.h"
#include "windows/named.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

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

ListChoice::ListChoice(QWidget* box, const char* oneName, const char* severalName, const char* namesName)
    : QObject(box), one(named(new QRadioButton(QStringLiteral("Download List:"), box), oneName)),
      several(named(new QRadioButton(QStringLiteral("Download Lists:"), box), severalName)),
      combo(named(new QComboBox(box), "Combo3")),
      choose(named(new QPushButton(QStringLiteral("..."), box), "Command3")), names(named(new QLabel(box), namesName))
{
    names->setWordWrap(true);
    for (int n = 1; n <= lists::kCount; ++n)
        combo->addItem(lists::chooserCaption(n));
    // A list renamed elsewhere is shown with its new name at once.
    connect(&changes(), &Changes::listsChanged, this, [this] {
        for (int n = 1; n <= lists::kCount; ++n)
            combo->setItemText(n - 1, lists::chooserCaption(n));
        names->setText(options::chosenListNames());
    });
    (settings().multiplelists ? several : one)->setChecked(true);
    showCurrentList();
    names->setText(options::chosenListNames());
    enableChosen();

    connect(combo, &QComboBox::activated, this, [](int index) {
        settings().lijst = index + 1;
        settingsrow::saveCurrentList();
    });
    connect(several, &QRadioButton::toggled, this, [this](bool on) {
        settings().multiplelists = on;
        store::write(QStringLiteral("Multiplelists"), textconv::fromBool(on));
        enableChosen();
    });
    connect(choose, &QPushButton::clicked, this, [this] {
        frmListDownload window(combo->window());
        window.exec();
        names->setText(options::chosenListNames());
    });
}

void ListChoice::addTo(QGridLayout* layout, int row)
{
    layout->addWidget(one, row, 0);
    layout->addWidget(combo, row, 1, 1, 2);
    layout->addWidget(several, row + 1, 0);
    layout->addWidget(choose, row + 1, 1);
    layout->addWidget(names, row + 1, 2);
}

void ListChoice::follow(QWidget* window) { window->installEventFilter(this); }

void ListChoice::setLocked(bool locked)
{
    for (QWidget* w : std::initializer_list<QWidget*>{one, several, combo, choose, names})
        w->setEnabled(!locked);
    if (!locked)
        enableChosen();
}

bool ListChoice::severalChosen() const { return several->isChecked(); }

int ListChoice::list() const { return combo->currentIndex() + 1; }

bool ListChoice::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
        showCurrentList();
    } else if (event->type() == QEvent::ParentChange) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(static_cast<QWidget*>(watched)->parentWidget()))
            connect(frame, &QMdiSubWindow::aboutToActivate, this, &ListChoice::showCurrentList, Qt::UniqueConnection);
    }
    return QObject::eventFilter(watched, event);
}

void ListChoice::showCurrentList()
{
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(std::clamp(settings().lijst, 1, lists::kCount) - 1);
}

void ListChoice::enableChosen()
{
    const bool on = several->isChecked();
    combo->setEnabled(!on);
    choose->setEnabled(on);
    names->setEnabled(on);
}
