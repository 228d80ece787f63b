#include "windows/browser.h"

#include "support/messages.h"
#include "windows/helpkey.h"
#include "windows/named.h"
#include "windows/symbolgrid.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

using listedit::Column;

browser::browser(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("browser"));
    setWindowTitle(QStringLiteral("Search Symbol"));
    helpkey::setPage(this, QStringLiteral("Ticker.htm"));

    auto* label1 = named(new QLabel(QStringLiteral("Name or Symbol:"), this), "Label1");
    text1_ = named(new QLineEdit(this), "Text1");
    label1->setBuddy(text1_);
    command1_ = named(new QPushButton(QStringLiteral("&Search"), this), "Command1");
    command1_->setDefault(true);

    auto* frame3 = named(new QGroupBox(this), "Frame3");
    option3_ = named(new QRadioButton(QStringLiteral("Search the Internet"), frame3), "Option3");
    option4_ = named(new QRadioButton(QStringLiteral("Search local Database"), frame3), "Option4");
    option3_->setChecked(true);
    auto* frame3Layout = new QVBoxLayout(frame3);
    frame3Layout->addWidget(option3_);
    frame3Layout->addWidget(option4_);

    auto* frame1 = named(new QGroupBox(this), "Frame1");
    option1_ = named(new QRadioButton(frame1), "Option1");
    option2_ = named(new QRadioButton(frame1), "Option2");
    option5_ = named(new QRadioButton(QStringLiteral("Exact Symbol"), frame1), "option5");
    option2_->setChecked(true);
    auto* frame1Layout = new QVBoxLayout(frame1);
    frame1Layout->addWidget(option1_);
    frame1Layout->addWidget(option2_);
    frame1Layout->addWidget(option5_);

    combo1_ = named(new QComboBox(this), "Combo1");
    combo1_->addItems({QStringLiteral("Stocks"), QStringLiteral("Mutual funds"), QStringLiteral("Indices")});
    combo1_->setPlaceholderText(QStringLiteral("Stocks"));
    combo1_->setCurrentIndex(-1);

    frame2_ = named(new QGroupBox(QStringLiteral("Results"), this), "Frame2");
    mshFlexGrid1_ = named(new QTableWidget(0, 5, frame2_), "MSHFlexGrid1");
    mshFlexGrid1_->setHorizontalHeaderLabels({QStringLiteral("Symbol"), QStringLiteral("Name"),
                                              QStringLiteral("Market"), QStringLiteral("Type"),
                                              QStringLiteral("In Database")});
    mshFlexGrid1_->setSelectionBehavior(QAbstractItemView::SelectRows);
    mshFlexGrid1_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    mshFlexGrid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mshFlexGrid1_->verticalHeader()->setVisible(false);
    mshFlexGrid1_->horizontalHeader()->setStretchLastSection(true);
    mshFlexGrid1_->viewport()->installEventFilter(this);
    mshFlexGrid2_ =
        named(new SymbolGrid({Column::Symbol, Column::Name, Column::Market, Column::Type}, frame2_), "MSHFlexGrid2");
    connect(mshFlexGrid2_, &SymbolGrid::popupRequested, this, [this](const QPoint& p) {
        if (mshFlexGrid2_->grid()->rowCount() > 0)
            emit popupRequested(4, p);
    });
    // Why a search found nothing: the service unreachable, an unusable
    // answer, or no match.
    problem_ = named(new QLabel(frame2_), "lblSearchProblem");
    problem_->setWordWrap(true);
    problem_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problem_->hide();
    auto* frame2Layout = new QVBoxLayout(frame2_);
    frame2Layout->addWidget(problem_);
    frame2Layout->addWidget(mshFlexGrid1_);
    frame2Layout->addWidget(mshFlexGrid2_);

    commandPrevious50_ = named(new QPushButton(QStringLiteral("&Previous 50"), this), "CommandPrevious50");
    commandNext50_ = named(new QPushButton(QStringLiteral("&Next 50"), this), "CommandNext50");
    commandaddselected_ =
        named(new QPushButton(QStringLiteral("Add S&elected to Database"), this), "Commandaddselected");
    commandAddAll_ = named(new QPushButton(QStringLiteral("Add &All to Database"), this), "CommandAddAll");
    commandPrevious50_->setEnabled(false);
    commandNext50_->setEnabled(false);
    commandaddselected_->setEnabled(false);
    commandAddAll_->setEnabled(false);
    connect(mshFlexGrid1_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &browser::updateAddButtons);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(label1);
    searchRow->addWidget(text1_, 1);
    searchRow->addWidget(command1_);
    auto* choices = new QHBoxLayout;
    choices->addWidget(frame3);
    choices->addWidget(frame1);
    choices->addWidget(combo1_, 0, Qt::AlignTop);
    choices->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(commandPrevious50_);
    buttons->addWidget(commandNext50_);
    buttons->addStretch(1);
    buttons->addWidget(commandaddselected_);
    buttons->addWidget(commandAddAll_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addLayout(choices);
    layout->addWidget(frame2_, 1);
    layout->addLayout(buttons);

    connect(option3_, &QRadioButton::toggled, this, &browser::setMode);
    connect(command1_, &QPushButton::clicked, this, &browser::Command1);
    connect(text1_, &QLineEdit::returnPressed, this, &browser::Command1);
    connect(commandNext50_, &QPushButton::clicked, this, &browser::next50);
    connect(commandPrevious50_, &QPushButton::clicked, this, &browser::previous50);
    connect(commandaddselected_, &QPushButton::clicked, this, [this] { addSelected(); });
    connect(commandAddAll_, &QPushButton::clicked, this, &browser::addAll);
    connect(&search_, &SymbolSearch::searched, this, &browser::showHits);
    setMode();
}

browser::~browser() = default;

bool browser::internetMode() const { return option3_->isChecked(); }

void browser::setMode()
{
    const bool internet = internetMode();
    option1_->setText(internet ? QStringLiteral("US && Canada") : QStringLiteral("Search Name"));
    option2_->setText(internet ? QStringLiteral("Worldmarkets") : QStringLiteral("Search Symbol"));
    if (!internet && option5_->isChecked())
        option1_->setChecked(true);
    option5_->setVisible(internet);
    combo1_->setVisible(internet);
    mshFlexGrid1_->setVisible(internet);
    mshFlexGrid2_->setVisible(!internet);
    commandPrevious50_->setVisible(internet);
    commandNext50_->setVisible(internet);
    commandaddselected_->setVisible(internet);
    commandAddAll_->setVisible(internet);
}

void browser::Command1()
{
    if (text1_->text().isEmpty()) {
        msgBox(QStringLiteral("Please enter Name or Symbol"));
        return;
    }
    BusyPointer busy;
    if (internetMode()) {
        mshFlexGrid1_->setRowCount(0);
        search_.components.clear();
        search_.memberOffset = 0;
        search_.firstticker = 1;
        search_.text = text1_->text();
        search_.us = option1_->isChecked();
        search_.exact = option5_->isChecked();
        search_.kind = SymbolSearch::kindText(combo1_->currentIndex());
        setWindowTitle(QStringLiteral("Search Symbol"));
        internetsearch();
    } else {
        showLocal(search_.localsearch(text1_->text(), option1_->isChecked()));
    }
}

void browser::showComponents(const QString& index)
{
    option3_->setChecked(true);
    search_.components = index;
    search_.memberOffset = 0;
    search_.kind = SymbolSearch::kindText(combo1_->currentIndex());
    setWindowTitle(index + QStringLiteral(" - Components"));
    internetsearch();
}

// The hits are shown when the search's answer comes.
void browser::internetsearch() { search_.internetsearch(); }

void browser::next50() { search_.next50(); }

void browser::previous50() { search_.previous50(); }

void browser::showHits()
{
    const auto& hits = search_.hits;
    mshFlexGrid1_->setRowCount(0);
    mshFlexGrid1_->setRowCount(static_cast<int>(hits.size()));
    for (int i = 0; i < hits.size(); ++i) {
        const SymbolSearch::Hit& h = hits[i];
        const QString cells[5] = {h.ticker, h.name, h.market, h.type, h.inDatabase};
        for (int c = 0; c < 5; ++c)
            mshFlexGrid1_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    frame2_->setTitle(search_.summary);
    problem_->setText(search_.problem);
    problem_->setVisible(!search_.problem.isEmpty());
    commandNext50_->setEnabled(search_.canNext);
    commandPrevious50_->setEnabled(search_.canPrevious);
    updateAddButtons();
}

// Adding needs hits; adding the selected ones a selection as well.
void browser::updateAddButtons()
{
    const bool hits = mshFlexGrid1_->rowCount() > 0;
    commandAddAll_->setEnabled(hits);
    commandaddselected_->setEnabled(hits && mshFlexGrid1_->selectionModel()->hasSelection());
}

void browser::showLocal(const QVector<lists::Symbol>& rows)
{
    mshFlexGrid2_->grid()->setRows(rows);
    frame2_->setTitle(search_.summary);
    problem_->hide();
}

QVector<int> browser::selectedResultRows() const
{
    const auto [first, last] = selectedSpan(mshFlexGrid1_->selectionModel());
    if (first < 0)
        return {};
    QVector<int> rows;
    for (int r = first; r <= last; ++r)
        rows << r;
    return rows;
}

QString browser::singleChosenTicker(int popup) const
{
    if (popup == 4) {
        const QStringList t = mshFlexGrid2_->selectedTickers();
        return t.size() == 1 ? t.first() : QString();
    }
    const QVector<int> rows = selectedResultRows();
    return rows.size() == 1 && rows.first() < search_.hits.size() ? search_.hits[rows.first()].ticker : QString();
}

int browser::addSelected(bool quiet)
{
    const int added = search_.addSelected(selectedResultRows());
    showHits();
    if (!quiet)
        msgBox(QString::number(added) + QStringLiteral(" Symbols added to Database"));
    return added;
}

void browser::addAll()
{
    const int tried = search_.addAll();
    showHits();
    msgBox(QString::number(tried) + QStringLiteral(" Tickers added to Database"));
}

void browser::lijsttoevoegen(int n)
{
    const QString message = SymbolSearch::lijsttoevoegen(mshFlexGrid2_->selectedTickers(), n);
    msgBox(message);
    emit listsChanged();
}

void browser::lijsttoevoegen2(int n)
{
    BusyPointer busy;
    const QString message = search_.lijsttoevoegen2(selectedResultRows(), n);
    showHits();
    msgBox(message);
    emit listsChanged();
}

bool browser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mshFlexGrid1_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && mshFlexGrid1_->rowCount() > 0)
            emit popupRequested(3, mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}
