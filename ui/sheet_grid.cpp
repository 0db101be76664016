#include "sheet_grid.h"

#include "engine/fault.h"
#include "fonts.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QWheelEvent>

namespace qelvara {

namespace {

// Draws every cell as plain text on its own background: the styles paint a
// highlight, a focus frame or a hover tint behind the current or pointed-at
// cell, and any of them would show a white character.
class PlainCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &=
            ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
    }
};

} // namespace

QColor ColourFromBgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

SheetGrid::SheetGrid(QWidget *parent) : QTableWidget(kRows, kColumns, parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        // The minimum follows the font and would clamp 33-pixel columns to ~76.
        header->setMinimumSectionSize(1);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setTabKeyNavigation(false);
    setAutoScroll(false);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setItemDelegate(new PlainCellDelegate(this));
    viewport()->setAttribute(Qt::WA_Hover, false);

    // White whatever the desktop theme says, so white text is invisible; in
    // every colour group, so an inactive window keeps it too.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);

    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            auto *item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled);
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(Qt::white);
            item->setForeground(Qt::black);
            setItem(r, c, item);
        }
    }
}

void SheetGrid::SetCurrentColumn(int column) {
    if (column < 0 || column >= kColumns)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    column_ = column;
}

void SheetGrid::SetCurrentRow(int row) {
    if (row < 0 || row >= kRows)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    row_ = row;
}

QTableWidgetItem *SheetGrid::CurrentItem() const {
    return item(row_, column_);
}

void SheetGrid::SetCellTextColour(const QColor &colour) {
    QTableWidgetItem *cell = CurrentItem();
    cell->setForeground(colour);
    // A screen reader should not read out a character that has vanished.
    if (colour == Qt::white)
        cell->setData(Qt::AccessibleTextRole, ToQString(form::kTypedCell));
    else
        cell->setData(Qt::AccessibleTextRole, QVariant());
}

void SheetGrid::SetCellText(const QString &text) {
    CurrentItem()->setText(text);
}

void SheetGrid::SetColumnWidthPixels(int column, int pixels) {
    if (column < 0 || column >= kColumns)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    setColumnWidth(column, pixels);
}

void SheetGrid::SetRowHeightPixels(int pixels) {
    verticalHeader()->setDefaultSectionSize(pixels);
    for (int r = 0; r < kRows; ++r)
        setRowHeight(r, pixels);
}

void SheetGrid::scrollTo(const QModelIndex &, ScrollHint) {
    // The sheet rows are the top rows; nothing may scroll them out of view.
}

void SheetGrid::wheelEvent(QWheelEvent *event) {
    event->ignore();
}

} // namespace qelvara
