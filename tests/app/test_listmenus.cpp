#include "testutil.h"

#include "app/hoofdform.h"
#include "database/startup.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

class ListMenusTest : public QuotarisTest {};

TEST_F(ListMenusTest, FileMenuOpensImportExportAndNames)
{
    runStartup();
    Hoofdform w;
    w.show();
    for (const char* item : {"menuImport", "menuExport"}) {
        QAction* a = w.action(QLatin1String(item));
        ASSERT_TRUE(a->isEnabled()) << item;
        QString title;
        QTimer::singleShot(0, [&title] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            box->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        });
        a->trigger();  // modal: returns when the window is closed
        EXPECT_EQ(title, QLatin1String(item) == QLatin1String("menuImport") ? QStringLiteral("Import Symbols")
                                                                            : QStringLiteral("Export List"));
    }

    w.action(QStringLiteral("menuNames"))->trigger();
    const auto children = w.mdiArea()->subWindowList();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children[0]->widget()->windowTitle(), QStringLiteral("List names"));
    // Cancel closes the window and its frame.
    QPointer<QMdiSubWindow> frame = children[0];
    frame->widget()->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty());
}
