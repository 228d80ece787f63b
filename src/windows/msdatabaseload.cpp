#include "windows/msdatabaseload.h"

#include "support/yield.h"
#include "windows/helpkey.h"
#include "windows/location.h"
#include "windows/named.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

MSDatabaseload::MSDatabaseload(const CancelToken* run, QWidget* parent) : QDialog(parent), cancel_(run)
{
    setObjectName(QStringLiteral("MSDatabaseload"));
    setWindowTitle(QStringLiteral("Metastock"));
    helpkey::setPage(this, QStringLiteral("Exportformat.htm"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    label1_ = named(new QLabel(QStringLiteral("Reading Metastock-Database....."), this), "Label1");
    progressBar1_ = named(new QProgressBar(this), "ProgressBar1");
    progressBar1_->setMinimumWidth(320);
    layout->addWidget(label1_);
    layout->addWidget(progressBar1_);
}

void MSDatabaseload::setProgress(int value, int maximum)
{
    progressBar1_->setMaximum(std::max(1, maximum));
    progressBar1_->setValue(std::min(value, std::max(1, maximum)));
}

void MSDatabaseload::closeEvent(QCloseEvent* event)
{
    // Closing the window while it reads stops the scan, and the run.
    if (isVisible())
        cancel_.cancel();
    QDialog::closeEvent(event);
}

QString GuiMetastockPrompt::askFolder(const QString& name, const QString& startFolder, const QString& root,
                                      const Place& place)
{
    location window(QLatin1Char('T'), parent_);
    window.setSymbolMode(name, startFolder, [&](const QString& folder, bool dontAskAgain) {
        bool resetToRoot = false;
        const bool placed = place(folder, dontAskAgain, &resetToRoot);
        if (!placed && resetToRoot)
            window.setFolder(root);
        return placed;
    });
    window.exec();
    return window.symbolFolder();
}

void GuiMetastockPrompt::showMapLoad(const CancelToken* run, const Scan& scan)
{
    MSDatabaseload window(run, parent_);
    window.show();
    yieldToGui();
    scan([&window](int value, int maximum) { window.setProgress(value, maximum); }, window.cancelToken());
    window.hide();
}
