// name_order.h: how names compare and match, without a locale: canonically
// equivalent text is equal, letter case is folded, digit runs compare by value.
// Digit runs are compared as strings (leading zeros dropped, longer run larger),
// so a 40-digit timestamp in a file name never overflows anything.
#pragma once

#include <QString>
#include <QStringView>
#include <string>

namespace reelkeep {

// NFC, then full case folding: the form both sides of a name comparison or a
// search take. ASCII text only has its letters lowered.
QString foldedText(QStringView text);

// A byte string whose plain lexicographic order is the name order: the folded
// text in UTF-8 (so bytes order as code points) with each digit run written as
// '0', its length, then its digits without leading zeros.
std::string nameSortKey(QStringView name);
// The same key appended to out, for building many keys in one buffer.
void appendNameSortKey(QStringView name, std::string& out);

// A byte string whose plain order is compareIdentifiers' order.
std::string identifierSortKey(QStringView identifier);

// <0, 0, >0 in name order.
int compareNames(QStringView a, QStringView b);

// The system's plain string order: code points of the NFC forms.
int compareIdentifiers(QStringView a, QStringView b);

// Folded text without its combining marks: "d\u00EDa" gives "dia".
QString withoutMarks(QStringView folded);
// Whether folded text has a combining mark (after decomposition).
bool hasMarks(QStringView folded);

// Whether name contains query, both folded; query must already be foldedText().
// A query without accents matches names with or without them, as desktop
// search does; a query with accents matches only those accents.
bool containsFolded(QStringView name, QStringView foldedQuery);

}  // namespace reelkeep
