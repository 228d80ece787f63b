#include "windows/marketform.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "runs/symbolstatus.h"
#include "support/changes.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/helpkey.h"
#include "windows/named.h"
#include "windows/symbolgrid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

using listedit::Column;

namespace {

// Symbols whose status is read in one turn of the event loop.
constexpr int kStatusSlice = 400;

const char* const kCaptions[5] = {"&Add selected >", "Add a&ll >>", "<< Remo&ve all", "< &Remove selected",
                                  "Remove from &database"};

}  // namespace

marketform::marketform(bool viewComponents, QWidget* parent)
    : QWidget(parent), viewComponents_(viewComponents),
      listOrder_({lists::SortKey::Market, lists::SortKey::Type, lists::SortKey::Name}),
      marketOrder_(listedit::marketOrder(Column::Symbol))
{
    setObjectName(QStringLiteral("marketform"));
    setWindowTitle(viewComponents ? QStringLiteral("View components") : QStringLiteral("List management"));
    helpkey::setPage(this, QStringLiteral("Listmanagment.htm"));

    auto* label2 = named(new QLabel(QStringLiteral("Choose market:"), this), "Label2");
    combobox1_ = named(new QComboBox(this), "Combobox1");
    label2->setBuddy(combobox1_);
    auto* label1 = named(new QLabel(QStringLiteral("Choose list:"), this), "Label1");
    combobox2_ = named(new QComboBox(this), "Combobox2");
    label1->setBuddy(combobox2_);
    gridfondsen_ = named(new SymbolGrid({Column::Symbol, Column::Name, Column::Type}, this), "gridfondsen");
    gridlijst_ = named(new SymbolGrid({Column::Market, Column::Symbol, Column::Name, Column::Type}, this), "gridlijst");
    auto* label3 = named(new QLabel(QStringLiteral("Symbols in market:"), this), "Label3");
    lblSymbolmarket_ = named(new QLabel(QStringLiteral("0"), this), "lblSymbolmarket");
    auto* label4 = named(new QLabel(QStringLiteral("Symbols in list:"), this), "Label4");
    lblsymbollist_ = named(new QLabel(QStringLiteral("0"), this), "lblsymbollist");
    commandview_ = named(new QPushButton(QStringLiteral("&View Components"), this), "commandview");
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(0);
    connect(statusTimer_, &QTimer::timeout, this, &marketform::readStatusSlice);

    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    for (int i = 0; i < 5; ++i) {
        command1_[i] = new QPushButton(QString::fromLatin1(kCaptions[i]), this);
        command1_[i]->setObjectName(QStringLiteral("Command1_%1").arg(i));
        connect(command1_[i], &QPushButton::clicked, this, [this, i] { Command1(i); });
        buttons->addWidget(command1_[i]);
        if (i == 3)
            buttons->addSpacing(12);
    }
    buttons->addStretch(1);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label2, 0, 0);
    layout->addWidget(combobox1_, 0, 1);
    layout->addWidget(label1, 0, 3);
    layout->addWidget(combobox2_, 0, 4);
    layout->addWidget(gridfondsen_, 1, 0, 1, 2);
    layout->addLayout(buttons, 1, 2);
    layout->addWidget(gridlijst_, 1, 3, 1, 2);
    auto* marketCount = new QHBoxLayout;
    marketCount->addWidget(label3);
    marketCount->addWidget(lblSymbolmarket_);
    marketCount->addStretch(1);
    marketCount->addWidget(commandview_);
    layout->addLayout(marketCount, 2, 0, 1, 2);
    auto* listCount = new QHBoxLayout;
    listCount->addWidget(label4);
    listCount->addWidget(lblsymbollist_);
    listCount->addStretch(1);
    layout->addLayout(listCount, 2, 3, 1, 2);
    // The list has the status columns besides: it gets the larger share.
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(4, 3);
    layout->setRowStretch(1, 1);

    if (viewComponents_) {
        for (QWidget* w :
             {static_cast<QWidget*>(label1), static_cast<QWidget*>(combobox2_), static_cast<QWidget*>(gridlijst_),
              static_cast<QWidget*>(label4), static_cast<QWidget*>(lblsymbollist_)})
            w->hide();
        for (QPushButton* b : command1_)
            b->hide();
    }

    list_ = lists::validList(settings().lijst) ? settings().lijst : 1;
    for (int n = 1; n <= lists::kCount; ++n)
        combobox2_->addItem(lists::chooserCaption(n));
    combobox2_->setCurrentIndex(list_ - 1);

    connect(combobox1_, &QComboBox::currentIndexChanged, this, [this] { marketVullen(); });
    connect(combobox2_, &QComboBox::currentIndexChanged, this, &marketform::chooseList);
    connect(commandview_, &QPushButton::clicked, this, &marketform::commandview);
    connect(gridfondsen_, &SymbolGrid::sortRequested, this, [this](Column c) {
        marketOrder_ = listedit::marketOrder(c);
        marketVullen();
    });
    connect(gridlijst_, &SymbolGrid::sortRequested, this, [this](Column c) {
        listOrder_ = listedit::listOrder(c);
        lijstenvullen();
    });
    connect(gridfondsen_, &SymbolGrid::popupRequested, this, [this](const QPoint& p) { emit popupRequested(1, p); });
    connect(gridlijst_, &SymbolGrid::popupRequested, this, [this](const QPoint& p) {
        if (gridlijst_->grid()->rowCount() > 0)
            emit popupRequested(2, p);
    });

    connect(gridlijst_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const auto& rows = gridlijst_->grid()->rows();
        if (index.isValid() && index.row() < rows.size())
            emit chartRequested(rows[index.row()].ticker);
    });

    for (SymbolGrid* grid : {gridfondsen_, gridlijst_})
        connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &marketform::updateButtons);

    // Lists, symbols and the files of a run change under the window: it
    // follows within a second, reading again what changed.
    auto* follow = new QTimer(this);
    follow->setSingleShot(true);
    follow->setInterval(500);
    connect(follow, &QTimer::timeout, this, [this] {
        if (readingStatus())
            return;  // the reading under way sees the files as they are now
        startStatus();
    });
    connect(&changes(), &Changes::filesWritten, follow, qOverload<>(&QTimer::start));
    connect(&changes(), &Changes::settingsChanged, follow, qOverload<>(&QTimer::start));
    auto* refill = new QTimer(this);
    refill->setSingleShot(true);
    refill->setInterval(300);
    connect(refill, &QTimer::timeout, this, [this] {
        for (int n = 1; n <= lists::kCount; ++n)
            combobox2_->setItemText(n - 1, lists::chooserCaption(n));
        if (combobox1_->currentIndex() >= 0)
            marketVullen();
        lijstenvullen();
    });
    connect(&changes(), &Changes::listsChanged, refill, qOverload<>(&QTimer::start));
    connect(&changes(), &Changes::symbolsChanged, refill, qOverload<>(&QTimer::start));

    fillMarkets();
    if (!viewComponents_)
        lijstenvullen();
    if (combobox1_->currentIndex() < 0)
        marketVullen();
}

marketform::~marketform() = default;

template <typename Query>
QVector<lists::Symbol> marketform::read(Query query)
{
    QVector<lists::Symbol> rows;
    guarded([&] {
        // Opening the encrypted file costs more than reading a market, so
        // the window keeps its connection while it is open.
        if (!db_)
            db_ = Database::openDefault();
        rows = query(*db_);
    });
    return rows;
}

void marketform::fillMarkets()
{
    QVector<QPair<int, QString>> markets;
    guarded([&] {
        if (!db_)
            db_ = Database::openDefault();
        markets = lists::markets(*db_);
    });
    const QSignalBlocker block(combobox1_);
    combobox1_->clear();
    int indices = -1;
    for (const auto& [id, name] : markets) {
        combobox1_->addItem(name, id);
        if (viewComponents_ && name == QLatin1String("Indices")) {
            indices = combobox1_->count() - 1;
            break;
        }
    }
    // The first market is shown at once: an empty pane says nothing.
    if (indices < 0 && !viewComponents_ && combobox1_->count() > 0)
        indices = 0;
    combobox1_->setCurrentIndex(indices);
    if (indices >= 0)
        marketVullen();
}

int marketform::marketId() const { return combobox1_->currentIndex() < 0 ? 0 : combobox1_->currentData().toInt(); }

QString marketform::marketName() const
{
    return combobox1_->currentIndex() < 0 ? QString() : combobox1_->currentText();
}

// A button that has nothing to act on is withdrawn.
void marketform::updateButtons()
{
    const bool marketRows = gridfondsen_->grid()->rowCount() > 0;
    const bool listRows = gridlijst_->grid()->rowCount() > 0;
    const bool marketSelected = marketRows && gridfondsen_->selectionModel()->hasSelection();
    const bool listSelected = listRows && gridlijst_->selectionModel()->hasSelection();
    command1_[0]->setEnabled(marketSelected);
    command1_[1]->setEnabled(marketRows);
    command1_[2]->setEnabled(listRows);
    command1_[3]->setEnabled(listSelected);
    command1_[4]->setEnabled(marketSelected);
}

void marketform::marketVullen()
{
    const int id = marketId();
    BusyPointer busy;
    gridfondsen_->grid()->setRows(id == 0 ? QVector<lists::Symbol>{} : read([&](Database& db) {
        return lists::symbolsOfMarket(db, id, marketOrder_);
    }));
    lblSymbolmarket_->setText(QString::number(gridfondsen_->grid()->rowCount()));
    if (gridfondsen_->grid()->rowCount() > 0)
        gridfondsen_->selectRow(0);
    commandview_->setEnabled(marketName() == QLatin1String("Indices"));
    updateToolTips();
    updateButtons();
}

void marketform::lijstenvullen()
{
    if (viewComponents_)
        return;
    const int n = list_;
    gridlijst_->grid()->setRows(read([&](Database& db) { return lists::symbolsOfList(db, n, listOrder_); }));
    lblsymbollist_->setText(QString::number(gridlijst_->grid()->rowCount()));
    updateToolTips();
    updateButtons();
    startStatus();
}

void marketform::startStatus()
{
    statusTimer_->stop();
    statusReader_.reset();
    status_.clear();
    const QVector<QChar> letters = symbolstatus::formatsShown();
    if (gridlijst_->grid()->statusFormats() != letters)
        gridlijst_->grid()->setStatusFormats(letters);
    if (letters.isEmpty() || gridlijst_->grid()->rowCount() == 0 || !db_)
        return;
    guarded([&] { statusReader_ = std::make_unique<symbolstatus::StatusReader>(*db_, letters); });
    if (statusReader_)
        statusTimer_->start();
}

void marketform::readStatusSlice()
{
    const auto& rows = gridlijst_->grid()->rows();
    const qsizetype end = std::min<qsizetype>(rows.size(), status_.size() + kStatusSlice);
    for (qsizetype i = status_.size(); i < end; ++i)
        status_.append(statusReader_->read(rows[i]));
    if (status_.size() < rows.size())
        return;
    // Behind is measured against the whole list: shown once all is read.
    statusTimer_->stop();
    statusReader_.reset();
    symbolstatus::markBehind(status_);
    gridlijst_->grid()->setStatus(0, status_);
}

bool marketform::readingStatus() const { return statusTimer_->isActive(); }

void marketform::showChart()
{
    const QStringList chosen = gridlijst_->selectedTickers();
    if (!chosen.isEmpty())
        emit chartRequested(chosen.first());
}

void marketform::chooseList(int index)
{
    if (viewComponents_ || index < 0)
        return;
    list_ = index + 1;
    lijstenvullen();
    settings().lijst = list_;
    settingsrow::saveCurrentList();
}

void marketform::updateToolTips()
{
    const int n = list_;
    command1_[0]->setToolTip(QStringLiteral("Add Selected to list %1").arg(n));
    command1_[1]->setToolTip(marketId() != 0 ? QStringLiteral("Add all to list %1").arg(n) : QString());
    const bool listHasRows = gridlijst_->grid()->rowCount() > 0;
    command1_[2]->setToolTip(listHasRows ? QStringLiteral("Remove all from list %1").arg(n) : QString());
    command1_[3]->setToolTip(listHasRows ? QStringLiteral("Remove Selected from list %1").arg(n) : QString());
}

void marketform::Command1(int index)
{
    bool changed = false;
    switch (index) {
    case 0:
        changed = listedit::addSelected(gridfondsen_->selectedTickers(), list_);
        break;
    case 1:
        changed = listedit::addAll(marketId(), list_);
        break;
    case 2:
        changed = listedit::removeAll(list_);
        break;
    case 3:
        changed = listedit::removeSelected(gridlijst_->selectedTickers(), list_);
        break;
    case 4:
        changed = listedit::removeFromDatabase(gridfondsen_->selectedTickers());
        if (changed)
            marketVullen();
        break;
    default:
        return;
    }
    if (changed)
        lijstenvullen();
}

void marketform::kopieernaarlijst(int m, bool all, bool move)
{
    const QStringList tickers = all ? gridlijst_->allTickers() : gridlijst_->selectedTickers();
    gridlijst_->setUpdatesEnabled(false);
    const bool changed = listedit::kopieernaarlijst(tickers, m, move, list_);
    gridlijst_->setUpdatesEnabled(true);
    if (changed && move)
        lijstenvullen();
}

void marketform::verwijdervandatabase()
{
    if (listedit::verwijdervandatabase(gridfondsen_->selectedTickers())) {
        marketVullen();
        lijstenvullen();
    }
}

void marketform::commandview()
{
    const QStringList chosen = gridfondsen_->selectedTickers();
    if (chosen.isEmpty() || marketName() != QLatin1String("Indices"))
        return;
    emit viewComponentsRequested(chosen.first());
}
