#include "windows/frmoptions.h"

#include "runs/options.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "windows/helpkey.h"
#include "windows/named.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <memory>

frmOptions::frmOptions(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    helpkey::setPage(this, QStringLiteral("Download_options.htm"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    combo1_ = named(new QComboBox(this), "Combo1");
    combo2_ = named(new QComboBox(this), "Combo2");
    combo3_ = named(new QComboBox(this), "Combo3");
    combo1_->addItems(options::secondsItems());
    combo2_->addItems(options::secondsItems());
    combo3_->addItems(options::delayItems());
    label4_ = named(new QLabel(QStringLiteral("Delay in Milliseconds"), this), "Label4");

    const char* captions[7] = {nullptr,
                               "Write download-actions to log file",
                               "Automatically convert European historical quotes before 1999 to Euro",
                               "Use delay between Download requests",
                               "Adjust quotes for dividends and splits",
                               "Do not download current quotes during historical download",
                               "Reject quotes with no volume"};
    for (int i = 1; i <= 6; ++i)
        check_[i] = named(new QCheckBox(QLatin1String(captions[i]), this),
                          QStringLiteral("Check%1").arg(i).toLatin1().constData());
    option1_ = named(new QRadioButton(QStringLiteral("US-server"), this), "Option1");
    option2_ = named(new QRadioButton(QStringLiteral("European server"), this), "Option2");

    auto* requests = new QFormLayout;
    requests->addRow(QStringLiteral("Time-out in seconds per request:"), combo1_);
    requests->addRow(QStringLiteral("Number of retries for every request to the server:"), combo2_);
    requests->addRow(check_[1]);
    requests->addRow(check_[2]);

    auto* general = named(new QGroupBox(QStringLiteral("General"), this), "Frame1");
    auto* generalLayout = new QVBoxLayout(general);
    for (int i : {4, 5, 6})
        generalLayout->addWidget(check_[i]);

    auto* delay = named(new QGroupBox(QStringLiteral("Delay"), this), "Frame2");
    auto* delayLayout = new QGridLayout(delay);
    delayLayout->addWidget(check_[3], 0, 0, 1, 2);
    delayLayout->addWidget(combo3_, 1, 0);
    delayLayout->addWidget(label4_, 1, 1);

    auto* server = named(new QGroupBox(QStringLiteral("Server"), this), "Frame3");
    auto* serverLayout = new QVBoxLayout(server);
    serverLayout->addWidget(named(new QLabel(QStringLiteral("Download from:"), server), "Label3"));
    serverLayout->addWidget(option1_);
    serverLayout->addWidget(option2_);

    auto* check = named(new QGroupBox(QStringLiteral("Quote check"), this), "Frame4");
    auto* checkLayout = new QVBoxLayout(check);
    auto* checkLabel = named(new QLabel(QStringLiteral("When a quote fails the integrity check:"), check), "Label5");
    cboIntegrity_ = named(new QComboBox(check), "cboIntegrity");
    cboIntegrity_->addItems(options::integrityItems());
    checkLabel->setBuddy(cboIntegrity_);
    checkLayout->addWidget(checkLabel);
    checkLayout->addWidget(cboIntegrity_);

    auto* ok = named(new QPushButton(QStringLiteral("&Ok"), this), "Command1");
    auto* defaults = named(new QPushButton(QStringLiteral("&Default"), this), "Command2");
    auto* cancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "CommandCancel");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(requests);
    layout->addWidget(general);
    layout->addWidget(delay);
    layout->addWidget(server);
    layout->addWidget(check);
    layout->addLayout(buttons);

    load();
    opened_ = std::make_unique<ProgramSettings>(settings());
    openedIntegrity_ = cboIntegrity_->currentIndex();

    ProgramSettings& s = settings();
    connect(combo1_, &QComboBox::currentIndexChanged, this, [&s](int i) { s.teller2 = i + 1; });
    connect(combo2_, &QComboBox::currentIndexChanged, this, [&s](int i) { s.teller3 = i + 1; });
    connect(combo3_, &QComboBox::currentIndexChanged, this,
            [&s](int i) { s.intervalDownload = (i + 1) * options::kDelayStep; });
    connect(check_[1], &QCheckBox::toggled, this, [&s](bool on) { s.teller4 = on ? 1 : 0; });
    connect(check_[2], &QCheckBox::toggled, this, [&s](bool on) { s.teller5 = on ? 1 : 0; });
    connect(check_[4], &QCheckBox::toggled, this, [&s](bool on) { s.split = on ? 1 : 0; });
    connect(check_[5], &QCheckBox::toggled, this, [&s](bool on) { s.dcurrent = on ? 1 : 0; });
    connect(check_[6], &QCheckBox::toggled, this, [&s](bool on) { s.reject = on; });
    connect(check_[3], &QCheckBox::toggled, this, &frmOptions::delayClicked);
    connect(cboIntegrity_, &QComboBox::currentIndexChanged, this,
            [](int i) { options::setIntegrityAction(static_cast<integrity::Action>(i)); });
    connect(option1_, &QRadioButton::toggled, this,
            [&s](bool on) { s.server = on ? QLatin1Char('U') : QLatin1Char('E'); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, [this] {
        options::setDefaults();
        load();
    });
}

void frmOptions::load()
{
    const ProgramSettings& s = settings();
    const QSignalBlocker b1(combo1_), b2(combo2_), b3(combo3_), b4(check_[1]), b5(check_[2]), b6(check_[3]),
        b7(check_[4]), b8(check_[5]), b9(check_[6]), b10(option1_), b11(option2_), b12(cboIntegrity_);
    combo1_->setCurrentIndex(std::clamp(s.teller2 - 1, 0, options::kMaxSeconds - 1));
    combo2_->setCurrentIndex(std::clamp(s.teller3 - 1, 0, options::kMaxSeconds - 1));
    combo3_->setCurrentIndex(options::delayIndex(s.intervalDownload));
    check_[1]->setChecked(s.teller4 != 0);
    check_[2]->setChecked(s.teller5 != 0);
    check_[4]->setChecked(s.split != 0);
    check_[5]->setChecked(s.dcurrent != 0);
    check_[3]->setChecked(s.isdelay);
    combo3_->setEnabled(s.isdelay);
    label4_->setEnabled(s.isdelay);
    (s.server == QLatin1Char('E') ? option2_ : option1_)->setChecked(true);
    check_[6]->setChecked(s.reject);
    cboIntegrity_->setCurrentIndex(static_cast<int>(integrity::storedAction()));
}

void frmOptions::delayClicked(bool ticked)
{
    const bool on = options::setDelay(ticked);
    if (on != ticked) {
        const QSignalBlocker block(check_[3]);
        check_[3]->setChecked(on);
    }
    combo3_->setEnabled(on);
    label4_->setEnabled(on);
}

frmOptions::~frmOptions() = default;

void frmOptions::done(int result)
{
    // Cancel, Escape and the close box leave the options as they were when
    // the window opened.
    if (result == QDialog::Rejected && opened_) {
        const bool delayChanged = settings().isdelay != opened_->isdelay;
        settings() = *opened_;
        // The delay switch was stored when it was clicked.
        if (delayChanged)
            store::write(QStringLiteral("Isdelay"), textconv::fromBool(opened_->isdelay));
        options::setIntegrityAction(static_cast<integrity::Action>(openedIntegrity_));
    }
    options::save();
    QDialog::done(result);
}

frmListDownload::frmListDownload(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmListDownload"));
    helpkey::setPage(this, QStringLiteral("Download_options.htm"));
    setWindowTitle(QStringLiteral("Select Lists to download"));
    setModal(true);

    auto* frame = named(new QGroupBox(QStringLiteral("Lists to download"), this), "Frame1");
    auto* grid = new QGridLayout(frame);
    const ProgramSettings& s = settings();
    for (int n = 1; n <= 16; ++n) {
        // A "&" in a list's name is text, not an access key.
        const QString name = s.listNames[n].trimmed().replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* box = new QCheckBox(QStringLiteral("%1 - %2").arg(n).arg(name), frame);
        box->setObjectName(QStringLiteral("Check1_%1").arg(n - 1));
        box->setChecked(s.dList[n]);
        check1_[n - 1] = box;
        grid->addWidget(box, (n - 1) % 8, (n - 1) / 8);
    }
    auto* ok = named(new QPushButton(QStringLiteral("&Ok"), this), "Command1");
    auto* cancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "Command2");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, [this] {
        std::array<bool, 17> chosen{};
        for (int n = 1; n <= 16; ++n)
            chosen[n] = check1_[n - 1]->isChecked();
        options::saveDownloadLists(chosen);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}
