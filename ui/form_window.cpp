#include "form_window.h"

#include "fonts.h"
#include "form1.h"
#include "result_box.h"
#include "sheet_grid.h"
#include "typing_box.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qelvara {

namespace {

QRect Available(const Form1 &form) {
    return form.screen()->availableGeometry();
}

} // namespace

int TwipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

double PixelsToTwips(double pixels) {
    return pixels * kTwipsPerPixel;
}

void FormWindow::SelectCell(int column, int row) {
    form_.MSHFlexGrid1->SetCurrentColumn(column);
    form_.MSHFlexGrid1->SetCurrentRow(row);
}

void FormWindow::SetCellTextColour(std::uint32_t bgr) {
    form_.MSHFlexGrid1->SetCellTextColour(ColourFromBgr(bgr));
}

void FormWindow::SetCellText(std::u16string_view text) {
    form_.MSHFlexGrid1->SetCellText(ToQString(text));
}

void FormWindow::SetTimerRunning(bool on) {
    // Switching on a running timer keeps its period.
    if (!on)
        form_.Timer1->stop();
    else if (!form_.Timer1->isActive())
        form_.Timer1->start(temp::kTickMilliseconds);
}

std::u16string FormWindow::ReadTypingText() {
    return form_.Text1->toPlainText().toStdU16String();
}

void FormWindow::SetTypingText(std::u16string_view text) {
    form_.Text1->SetText(ToQString(text));
}

void FormWindow::FocusTypingBox() {
    // After the result box the window may be left inactive (no window manager
    // hands activation back), and keys would go nowhere.
    if (form_.isVisible() && !form_.isActiveWindow())
        form_.activateWindow();
    form_.Text1->setFocus(Qt::OtherFocusReason);
    // A new test: the box takes commits again (the finish stopped them).
    form_.Text1->ResumeCommits();
}

void FormWindow::CommitComposition() {
    form_.Text1->CommitComposition();
}

void FormWindow::SetClockText(std::u16string_view text) {
    const QString clock = ToQString(text);
    form_.Label3->setText(clock);
    // The name is what a screen reader says, so it carries the time too.
    form_.Label3->setAccessibleName(ToQString(form::ClockName(text)));
}

void FormWindow::SetFinishEnabled(bool on) {
    form_.Command1->setEnabled(on);
}

temp::Answer FormWindow::Ask(std::u16string_view text, std::u16string_view caption) {
    ResultBox box(ToQString(text), ToQString(caption), &form_);
    if (in_tick_)
        box.IgnoreKeysFor(form::kResultKeyGuard);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes) ? temp::Answer::Yes
                                                               : temp::Answer::No;
}

void FormWindow::EndProgram() {
    // At once: no event loop, no destructors, no unload processing.
    std::fflush(nullptr);
    std::_Exit(0);
}

double FormWindow::ScreenWidthTwips() const {
    return PixelsToTwips(Available(form_).width());
}

double FormWindow::ScreenHeightTwips() const {
    return PixelsToTwips(Available(form_).height());
}

double FormWindow::OuterWidthTwips() const {
    return PixelsToTwips(form_.frameGeometry().width());
}

double FormWindow::OuterHeightTwips() const {
    return PixelsToTwips(form_.frameGeometry().height());
}

void FormWindow::SetLeftTwips(double left) {
    form_.move(Available(form_).x() + TwipsToPixels(left), form_.frameGeometry().y());
}

void FormWindow::SetTopTwips(double top) {
    form_.move(form_.frameGeometry().x(), Available(form_).y() + TwipsToPixels(top));
}

void FormWindow::SetColumnWidthTwips(int column, int twips) {
    form_.MSHFlexGrid1->SetColumnWidthPixels(column, TwipsToPixels(twips));
}

void FormWindow::SetTypingMaxLength(int units) {
    form_.Text1->SetMaxLength(units);
}

} // namespace qelvara
