// The program's one window: the intro (Label2, Command2, Text2), the test view
// (the sheet grid, the typing box, the clock in its drawn box, Finish) and the
// timer. Controls and event handlers keep their original form names (other code
// and the tests use them); sizes are given in twips (15 to a pixel).
#pragma once

#include "form_window.h"
#include "sheet_grid.h"
#include "typing_box.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>

class Form1 : public QDialog {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // --- controls, in creation order ---
    QPushButton *Command2 = nullptr; // Start
    QTimer *Timer1 = nullptr;
    QPushButton *Command1 = nullptr; // Finish
    qelvara::TypingBox *Text1 = nullptr;
    qelvara::SheetGrid *MSHFlexGrid1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label2 = nullptr; // intro
    QFrame *Line4 = nullptr;  // the clock box: right, bottom, left, top
    QFrame *Line3 = nullptr;
    QFrame *Line2 = nullptr;
    QFrame *Line1 = nullptr;
    QLabel *Label3 = nullptr; // clock

    // --- events ---
    void Form1_Load();
    void Command2_Click();
    void Command1_Click();
    void Text1_Change();
    void Timer1_Timer();

    // The window operations the engine drives.
    qelvara::FormWindow &Window() { return *window_; }

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void CreateControls();
    void Centre();

    std::unique_ptr<qelvara::FormWindow> window_;
    bool loaded_ = false;
    bool recentred_ = false;
    QSize assumed_outer_;
};
