// The bank against the C library's own Big5 tables, not the generator's.
#include "bank/bank.h"
#include "temp.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <set>
#include <string>

namespace {

// Decodes one Big5 character to UTF-16 with the named iconv table.
std::u16string Decode(iconv_t cd, unsigned lead, unsigned trail) {
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char16_t out[4] = {};
    char *ip = in, *op = reinterpret_cast<char *>(out);
    size_t il = 2, ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0)
        return u"?";
    return std::u16string(out, (sizeof out - ol) / 2);
}

TEST(Bank, MatchesBig5TablesOfTheCLibrary) {
    for (const char *table : {"BIG5", "CP950", "BIG5-HKSCS"}) {
        SCOPED_TRACE(table);
        iconv_t cd = iconv_open("UTF-16LE", table);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        for (unsigned lead = 0xA4; lead <= 0xC5; ++lead) {
            std::u16string slot;
            for (unsigned t = 0x40; t <= 0xFE; t = (t == 0x7E ? 0xA1 : t + 1))
                slot += Decode(cd, lead, t);
            if (lead == 0xB4) // the one slot that carries its first character last
                slot = slot.substr(1) + slot.substr(0, 1);
            EXPECT_EQ(std::u16string(temp::kBankData.at(lead - 0xA4)), slot)
                << "lead byte " << std::hex << lead;
        }
        iconv_close(cd);
    }
}

TEST(Bank, FilledSlotsAndIndexLookup) {
    temp::ResetState();
    temp::FillCharBank();
    auto &bank = temp::State.CharBank;
    EXPECT_EQ(bank[0], u"");
    EXPECT_EQ(bank[35], u"");
    std::set<char16_t> seen;
    for (int s = 1; s <= 34; ++s) {
        ASSERT_EQ(bank[s].size(), 157u) << "slot " << s;
        seen.insert(bank[s].begin(), bank[s].end());
    }
    EXPECT_EQ(seen.size(), 5338u);

    auto at = [&](std::int32_t n) {
        temp::BankPlace p = temp::BankPlaceOf(n);
        return std::u16string(temp::CharAt(bank[p.slot], p.position));
    };
    EXPECT_EQ(at(1), u"一");
    EXPECT_EQ(at(157), bank[1].substr(156));
    EXPECT_EQ(at(158), bank[2].substr(0, 1));
    EXPECT_EQ(at(2513), u"媚"); // Big5 0xB441
    EXPECT_EQ(at(2669), u"\u5A77");
    EXPECT_EQ(at(5338), u"讒"); // Big5 0xC5FE
    EXPECT_EQ(temp::BankPlaceOf(157).slot, 1);
    EXPECT_EQ(temp::BankPlaceOf(157).position, 157);
    EXPECT_EQ(temp::BankPlaceOf(158).slot, 2);
    EXPECT_EQ(temp::BankPlaceOf(158).position, 1);
    EXPECT_EQ(temp::BankPlaceOf(5338).slot, 34);

    EXPECT_EQ(temp::IsMultiple(314, 157), 1);
    EXPECT_EQ(temp::IsMultiple(315, 157), 0);
    EXPECT_EQ(temp::IsMultiple(0, 157), 1);
}

} // namespace
