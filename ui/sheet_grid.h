// The sheet: a display-only grid of text cells addressed by a current cell,
// as the engine expects. A character whose text colour equals the white
// background must vanish in every cell, so no cell is ever drawn selected,
// focused or hovered, and the view never scrolls away from the top rows.
#pragma once

#include "engine/temp.h"
#include "form/form.h"

#include <QColor>
#include <QTableWidget>

namespace qelvara {

class SheetGrid : public QTableWidget {
    Q_OBJECT

public:
    static constexpr int kRows = form::kGridRows;
    static constexpr int kColumns = temp::kSheetColumns;

    explicit SheetGrid(QWidget *parent = nullptr);

    // The current cell that the cell operations act on. A click in the grid
    // does not move it.
    void SetCurrentColumn(int column);
    void SetCurrentRow(int row);

    void SetCellTextColour(const QColor &colour);
    void SetCellText(const QString &text);

    // Pixels; section sizes below the header's font-based minimum are allowed.
    void SetColumnWidthPixels(int column, int pixels);
    void SetRowHeightPixels(int pixels);

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    QTableWidgetItem *CurrentItem() const;

    int column_ = 0;
    int row_ = 0;
};

// The engine places sheet position k at row (k - 1) / 20, column (k - 1) % 20.
static_assert(SheetGrid::kRows * SheetGrid::kColumns >= temp::kSheetSize);

// Colours arrive as 0xBBGGRR.
QColor ColourFromBgr(std::uint32_t bgr);

} // namespace qelvara
