#include "editor/data_grid.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <stdexcept>

#include "app/window_behaviour.h"

namespace dorvane::editor {

namespace {

int toTwips(int pixels) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qRound(pixels * 15.0 * 96.0 / dpi);
}

}  // namespace

void GridView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool typed = !text.isEmpty() && (text[0] == QChar(8) || text[0].isPrint()) &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed && currentIndex().isValid()) {
        emit editStarted(text[0] == QChar(8) ? QString(QChar(8)) : text.left(1));
        return;
    }
    if (event->key() == Qt::Key_F2 && currentIndex().isValid()) {
        emit editStarted(QString());
        return;
    }
    QTableView::keyPressEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (currentIndex().isValid()) emit editStarted(QString());
}

DataGrid1::DataGrid1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DataGrid1"));
    m_caption = new QLabel(QString::fromLatin1(kCaption), this);
    m_caption->setObjectName(QStringLiteral("DataGrid1Caption"));
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setAutoFillBackground(true);
    m_caption->setFrameShape(QFrame::Panel);
    m_caption->setFrameShadow(QFrame::Raised);

    m_view = new GridView(this);
    m_view->setObjectName(QStringLiteral("DataGrid1View"));
    m_model = new GridModel(this);
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setWordWrap(false);
    m_view->setTabKeyNavigation(true);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    QHeaderView* rows = m_view->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    // A row is as high as the cell overlay that edits it.
    rows->setDefaultSectionSize(app::twips(285));
    rows->setFixedWidth(app::twips(240));
    rows->setMinimumSectionSize(1);
    m_view->horizontalHeader()->setMinimumSectionSize(0);
    m_view->horizontalHeader()->setHighlightSections(false);
    setFocusProxy(m_view);

    connect(m_view, &GridView::editStarted, this,
            [this](const QString& typed) { emit editStarted(m_view->currentIndex().column(), typed); });
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { m_top = value; });
    connect(m_view->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_currentColumn = column; });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                m_walkRow = -1;
                if (current.isValid()) m_currentColumn = current.column();
            });
}

void DataGrid1::resizeEvent(QResizeEvent*) {
    const int bar = app::twips(285);
    m_caption->setGeometry(0, 0, width(), bar);
    m_view->setGeometry(0, bar, width(), height() - bar);
}

void DataGrid1::setDataSource(std::shared_ptr<provider::RowSource> rows) {
    m_model->setRows(std::move(rows));
    // Columns as wide as their caption and the texts of the first page, within reason.
    QHeaderView* header = m_view->horizontalHeader();
    header->setResizeContentsPrecision(40);
    for (int column = 0; column < m_model->columnCount(); ++column) {
        m_view->setColumnWidth(
            column, std::clamp(std::max(m_view->contentWidth(column), header->sectionSizeHint(column)),
                               app::twips(900), app::twips(4500)));
    }
    m_currentColumn = -1;
    m_top = 0;
    m_walkRow = -1;
    m_view->verticalScrollBar()->setValue(0);
    m_view->horizontalScrollBar()->setValue(0);
}

int DataGrid1::columnLeft(int column) const {
    return toTwips(m_view->x() + m_view->frameWidth() + m_view->verticalHeader()->width() +
                   m_view->columnViewportPosition(column));
}

int DataGrid1::columnWidth(int column) const {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    return toTwips(m_view->columnWidth(column));
}

void DataGrid1::setColumnWidth(int column, int width) {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    m_view->setColumnWidth(column, width == 0 ? 0 : app::twips(width));
}

QString DataGrid1::columnDataField(int column) const {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    return m_model->fieldName(column);
}

qint64 DataGrid1::currentRow() const {
    if (m_walkRow >= 0) return m_walkRow;
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DataGrid1::setCurrentCell(qint64 row, int column) {
    m_walkRow = -1;
    m_view->setCurrentIndex(m_model->index(int(row), column));
    m_currentColumn = column;
}

int DataGrid1::rowTop() const {
    const qint64 row = currentRow();
    const int y = row < 0 ? 0 : m_view->rowViewportPosition(int(row));
    return toTwips(m_view->y() + m_view->frameWidth() + m_view->horizontalHeader()->height() + y);
}

void DataGrid1::focusFirstCell() {
    m_walkRow = -1;
    if (m_model->rowCount() > 0 && m_model->columnCount() > 0) {
        setCurrentCell(0, 0);
    } else if (m_model->columnCount() > 0) {
        m_currentColumn = 0;
    }
    m_view->setFocus(Qt::OtherFocusReason);
}

int DataGrid1::columnCount() const {
    return m_model->columnCount();
}

QString DataGrid1::columnCaption(int column) const {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    return m_model->fieldName(column);
}

QString DataGrid1::columnText(int column) const {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    const qint64 row = currentRow();
    if (row < 0)
        throw std::runtime_error("Either BOF or EOF is True, or the current record has been deleted.");
    return m_model->cellText(row, column);
}

std::string_view DataGrid1::columnUtf8(int column) const {
    // The row's texts hold every column: a walk over the rows asks them first.
    if (const qint64 row = currentRow(); row >= 0 && column >= 0) {
        const provider::RowTexts& texts = m_model->rowTexts(row);
        if (column < texts.columnCount()) return texts.text(column);
    }
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    const qint64 row = currentRow();
    if (row < 0)
        throw std::runtime_error("Either BOF or EOF is True, or the current record has been deleted.");
    return m_model->rowTexts(row).text(column);
}

std::int64_t DataGrid1::approxCount() const {
    return m_model->rows() ? m_model->rows()->rowCount() : 0;
}

int DataGrid1::visibleRows() const {
    const int rowHeight = std::max(1, m_view->verticalHeader()->defaultSectionSize());
    return std::max(1, m_view->viewport()->height() / rowHeight);
}

void DataGrid1::setRow(int visibleRow) {
    const qint64 row = m_top + visibleRow;
    if (row < 0 || row >= m_model->rowCount()) throw std::out_of_range("Invalid row number.");
    m_walkRow = row;
    queueShowWalk();
}

void DataGrid1::scroll(int columns, int rows) {
    if (columns != 0) {
        QScrollBar* bar = m_view->horizontalScrollBar();
        bar->setValue(bar->value() + columns);
    }
    if (rows != 0) {
        const qint64 last = std::max<qint64>(0, m_model->rowCount() - 1);
        m_top = std::clamp<qint64>(m_top + rows, 0, last);
        queueShowWalk();
    }
}

void DataGrid1::queueShowWalk() {
    // The view follows once, when events next run: a walk over a million rows moves no selection and
    // repaints nothing row by row or page by page.
    if (!m_walkShowQueued) {
        m_walkShowQueued = true;
        QMetaObject::invokeMethod(this, &DataGrid1::showWalk, Qt::QueuedConnection);
    }
}

void DataGrid1::showWalk() {
    m_walkShowQueued = false;
    const qint64 top = m_top;
    if (m_view->verticalScrollBar()->value() != top) m_view->verticalScrollBar()->setValue(int(top));
    m_top = top;
    if (m_walkRow < 0) return;
    const QModelIndex current = m_view->currentIndex();
    const int column = std::max(0, current.isValid() ? current.column() : m_currentColumn);
    const QModelIndex index = m_model->index(int(m_walkRow), column);
    m_walkRow = -1;
    {
        const QSignalBlocker quiet(m_view->selectionModel());
        m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    m_view->viewport()->update();
}

void DataGrid1::scrollToFirstRow() {
    m_view->verticalScrollBar()->setValue(0);
    m_top = 0;
}

}  // namespace dorvane::editor
