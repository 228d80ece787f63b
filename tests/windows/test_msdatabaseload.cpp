#include "testutil.h"

#include "database/startup.h"
#include "support/cancel.h"
#include "windows/location.h"
#include "windows/msdatabaseload.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

class MetastockWindowsTest : public QuotarisTest {};

TEST_F(MetastockWindowsTest, NewSymbolPromptGoesBackToTheRootWhenTold)
{
    const QString msRoot = path("ms/");
    QDir().mkpath(msRoot + "A");
    QDir().mkpath(path("other"));
    GuiMetastockPrompt prompt;
    QStringList tried;
    int oks = 0;
    // Click OK in the modal window twice: once where it starts, once where
    // the refusal put the tree.
    std::function<void()> clickOk = [&] {
        auto* w = qobject_cast<location*>(QApplication::activeModalWidget());
        if (!w) {
            QTimer::singleShot(10, clickOk);
            return;
        }
        EXPECT_EQ(w->windowTitle(), "Choose folder of Xyz Corp");
        w->findChild<QPushButton*>("OKButton")->click();
        if (++oks < 2)
            QTimer::singleShot(10, clickOk);
    };
    QTimer::singleShot(10, clickOk);
    const QString chosen =
        prompt.askFolder("Xyz Corp", path("other/"), msRoot, [&](const QString& folder, bool, bool* resetToRoot) {
            tried << folder;
            *resetToRoot = !folder.startsWith(msRoot);
            return !*resetToRoot;
        });
    EXPECT_EQ(tried, QStringList({path("other/"), msRoot}));
    EXPECT_EQ(chosen, msRoot);
}

// The scan sees the window's token: closing the window cancels it (the
// format then stops the run), and so does the run's Stop. Closing the
// window touches nothing else of the run.
TEST_F(MetastockWindowsTest, LoadWindowShowsWhileTheMapIsReadAndStopsItWhenClosed)
{
    GuiMetastockPrompt prompt;
    CancelToken run;
    bool shown = false;
    prompt.showMapLoad(&run, [&](const MetastockPrompt::Progress& progress, const CancelToken& stop) {
        auto* w = qobject_cast<MSDatabaseload*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        shown = w->isVisible();
        EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), "Reading Metastock-Database.....");
        progress(30, 120);
        EXPECT_EQ(w->findChild<QProgressBar*>("ProgressBar1")->value(), 30);
        EXPECT_FALSE(stop.cancelled());
        w->close();
        EXPECT_TRUE(stop.cancelled());
        EXPECT_FALSE(run.cancelled());
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    bool stoppedWithTheRun = false;
    prompt.showMapLoad(&run, [&](const MetastockPrompt::Progress&, const CancelToken& stop) {
        // A window of a new load starts afresh.
        EXPECT_FALSE(stop.cancelled());
        run.cancel();
        stoppedWithTheRun = stop.cancelled();
    });
    EXPECT_TRUE(stoppedWithTheRun);
}
