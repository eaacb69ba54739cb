#pragma once

// Our regular-expression component, registered under the ProgID
// "VBScript.RegExp" in place of the platform's.
//
// The RegExp object has the properties Pattern (text, ""), IgnoreCase, Global
// and Multiline (booleans, false) and the methods Execute(text) giving a match
// collection, Test(text) and Replace(text, replacement). A collection has
// Count and Item(index, 0-based) giving a match; a match has Value,
// FirstIndex, Length and SubMatches, whose Count is the number of groups of
// the pattern and whose Item(index, 0-based) is the text of a group or an
// empty value for a group that took no part. Positions and lengths count
// UTF-16 code units.
//
// The pattern is compiled when a method first needs it, and kept until
// Pattern or a flag changes. Setting Pattern never fails; a pattern the
// language does not allow makes Execute, Test and Replace raise the script
// error of the platform object:
//   0x800A1399 "Syntax error in regular expression"
//   0x800A139A "Unexpected quantifier"
//   0x800A139B "Expected ']' in regular expression"
//   0x800A139C "Expected ')' in regular expression"
//   0x800A139D "Invalid range in character set"
// A search that reaches a match limit raises 0x800A001C "Out of stack space",
// one that runs out of memory 0x800A0007 "Out of memory"; an index outside a
// collection raises 0x800A0005 "Invalid procedure call or argument".

namespace tralvex {

void RegisterRegExpComponent();

}  // namespace tralvex
