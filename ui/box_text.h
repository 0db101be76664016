// The typing box's text rules, apart from the widget: the form it stores
// text in, what of a composition the user typed, and whole surrogate pairs.
#pragma once

#include <QString>
#include <QStringView>

#include <utility>

namespace qelvara {

// Explicit bidi embeddings, overrides and isolates (LRE..RLO, LRI..PDI):
// Chinese text never needs them, and Qt 6.4.2's layout crashed on a later
// insertion when the box held one left open. The fuzz test's reference never
// gets them and the box must equal it, so the rule holds on every version.
bool IsBidiControl(QChar c);

// Text as the box stores it: every line-break convention becomes one "\n",
// and explicit bidi controls are dropped.
QString AsStored(QString text);

// What of a composition the user typed: what it shows, less a prompt. Rime's
// Cangjie and Quick show a code as its keys, then their radicals' names in
// full-width brackets (wirm（田戈口一）), and its schema menu shows its caption
// in tortoise-shell brackets (〔方案選單〕); the names are Han characters, and
// may be on the sheet, but nobody typed them. Converted text, Zhuyin and a
// code's keys are what the user typed.
QString Typed(QString composition);

// Whether offset `at` lies between the halves of a surrogate pair of text.
bool SplitsPair(QStringView text, qsizetype at);

// from..to clamped to text and put in order, each end moved out from between
// the halves of a pair: the start back, the end on; an insertion (from == to)
// goes before the pair.
std::pair<int, int> WholePairs(QStringView text, int from, int to);

// The longest prefix of text that fits into room code units without
// splitting a surrogate pair.
QString Fit(const QString &text, int room);

} // namespace qelvara
