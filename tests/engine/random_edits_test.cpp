// Thousands of random edit sequences through the typing box, each finished and
// scored, checked against what any correct change pass and count must do.
#include "fake_window.h"

#include "bank/bank.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

namespace {

using temp::State;

std::string g_where; // sequence and step, for a fault report

void FailOnFault(const char *message) {
    ADD_FAILURE() << "engine fault \"" << message << "\" at " << g_where;
    std::fflush(stdout); // the process ends after this handler
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

struct RandomEdits : qtest::EngineFixture {
    std::mt19937 rng{7};
    std::u16string off_sheet; // bank characters not on the current sheet

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // One character as the box stores it: 1 code unit, or 2 for a pair or CR LF.
    std::u16string Piece() {
        static const std::u16string kOther[] = {
            u"\n", u"\r\n", u" ", u"a", u"，", u"。", u"\U00020000", u"\U0001F600", u"\U0002A6D6"};
        switch (Uniform(0, 9)) {
        case 0:
        case 1:
            return std::u16string(1, off_sheet[Uniform(0, int(off_sheet.size()) - 1)]);
        case 2:
            return kOther[Uniform(0, std::size(kOther) - 1)];
        default:
            return SheetChar(Uniform(1, 100));
        }
    }
    // A cursor position that does not split a surrogate pair.
    std::size_t Boundary(const std::u16string &s) {
        auto p = static_cast<std::size_t>(Uniform(0, int(s.size())));
        return p < s.size() && IsLowSurrogate(s[p]) ? p - 1 : p;
    }
    // Pieces while they fit in `room` code units, as the box's limit cuts a paste.
    std::u16string Text(int pieces, std::size_t room) {
        std::u16string t;
        for (int i = 0; i < pieces; ++i) {
            std::u16string p = Piece();
            if (t.size() + p.size() > room)
                break;
            t += p;
        }
        return t;
    }

    // One edit: replace [from, to) of the box with new text; check the pass it runs.
    void Edit() {
        const std::u16string prev = win.typing;
        std::size_t from = Boundary(prev), to = from;
        const int kind = Uniform(0, 9);
        if (kind == 3 && from > 0) // backspace
            from -= IsLowSurrogate(prev[from - 1]) ? 2 : 1;
        if (kind >= 4 && kind <= 7) // a selection
            std::tie(from, to) = std::minmax(from, Boundary(prev));
        if (kind == 8) // select all
            std::tie(from, to) = std::pair<std::size_t, std::size_t>(0, prev.size());
        const std::size_t room = temp::kTypingLimit - (prev.size() - (to - from));
        std::u16string ins;
        if (kind == 1) // an input-method commit
            ins = Text(Uniform(2, 18), room);
        else if (kind == 2 || kind == 7) // a paste
            ins = Text(Uniform(1, 100), room);
        else if (kind == 0 || kind == 5 || kind == 6 || kind == 9)
            ins = Text(Uniform(1, kind == 6 ? 4 : 1), room);
        const std::u16string next = prev.substr(0, from) + ins + prev.substr(to);
        ASSERT_LE(next.size(), 100u);

        win.recolours.clear();
        const int text_sets = win.cell_text_sets;
        Type(next);
        if (next == prev)
            return;
        ASSERT_EQ(State.PrevText, next);
        EXPECT_EQ(win.cell_text_sets, text_sets);
        const bool added = next.size() >= prev.size();
        const std::u16string &longer = added ? next : prev;
        std::vector<int> hits;
        for (const auto &r : win.recolours) {
            ASSERT_TRUE(r.row >= 0 && r.row < 5 && r.column >= 0 && r.column < 20) << g_where;
            EXPECT_EQ(r.colour, added ? temp::kWhite : temp::kBlack) << g_where;
            const int k = r.row * 20 + r.column + 1;
            EXPECT_NE(longer.find(State.SheetText[k - 1]), std::u16string::npos) << g_where;
            hits.push_back(k);
        }
        // A pure insertion or deletion recolours exactly the sheet characters it moved.
        if (from == to || ins.empty()) {
            std::vector<int> expected;
            for (char16_t c : from == to ? ins : prev.substr(from, to - from))
                if (auto p = State.SheetText.find(c); p != std::u16string::npos)
                    expected.push_back(int(p) + 1);
            std::sort(hits.begin(), hits.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(hits, expected) << g_where;
        }
    }

    void NoteOffSheet() {
        off_sheet.clear();
        for (auto slot : temp::kBankData)
            for (char16_t c : slot)
                if (State.SheetText.find(c) == std::u16string::npos && Uniform(0, 99) == 0)
                    off_sheet += c;
    }
};

TEST_F(RandomEdits, ChangePassAndScoreHoldForAnyEditSequence) {
    temp::SetFaultHandler(FailOnFault);
    State.Started = temp::kTrue;
    temp::StartNewTest();
    for (int seq = 0; seq < 2000 && !HasFailure(); ++seq) {
        NoteOffSheet();
        const int edits = Uniform(1, 40);
        for (int e = 0; e < edits && !HasFailure(); ++e) {
            g_where = "sequence " + std::to_string(seq) + " edit " + std::to_string(e);
            Edit();
        }
        int present = 0;
        for (char16_t c : State.SheetText)
            present += win.typing.find(c) != std::u16string::npos;
        ASSERT_EQ(temp::CountCorrect(), present) << g_where;

        g_where = "finish of sequence " + std::to_string(seq);
        State.Minutes = static_cast<std::int16_t>(Uniform(1, 9));
        State.Seconds = static_cast<std::int16_t>(Uniform(0, 59));
        const double total = State.Minutes * 60 + State.Seconds;
        temp::FinishTest(); // answered Yes: a new sheet
        const std::u16string &text = win.asks.back().text;
        const std::u16string head =
            u"正確字數：" + temp::FormatStr(std::int16_t(present)) + u"字\n";
        ASSERT_EQ(text.substr(0, head.size()), head);
        const auto from = text.find(u"平均") + 2, to = text.find(u"字", from);
        const std::string speed(text.begin() + from, text.begin() + to); // ASCII only
        EXPECT_TRUE(speed[0] == ' ' && speed.find('e') == std::string::npos) << speed;
        EXPECT_TRUE(speed == " 0" || speed[1] != '0') << speed;
        EXPECT_TRUE(speed.find('.') == std::string::npos || speed.back() != '0') << speed;
        EXPECT_NEAR(std::stod(speed), present / total * 60, present / total * 60e-6) << speed;

        ASSERT_EQ(win.typing, u"");
        ASSERT_EQ(State.PrevText, u"");
        for (int k = 1; k <= 100; ++k)
            ASSERT_EQ(ColourOf(k), temp::kBlack) << g_where;
    }
    temp::SetFaultHandler(nullptr);
}

} // namespace
