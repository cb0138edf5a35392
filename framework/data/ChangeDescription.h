#pragma once

#include <string>

class TCmDataSet;

namespace framework {

enum class ChangeKind
{
    Insert,
    Change,
    Delete,
};

// The user-log text of the record a dataset is about to post or delete: a heading, then one
// "|label:value" segment per visible field that says something, then ".". Insert and change
// are read from the dataset's insert or edit state, delete from the stored record. An insert or
// change that says nothing gives an empty text (nothing is logged then). A child item (a line
// of another screen's record) gets the "Item …" headings.
std::string ChangeDescription(const TCmDataSet& dataSet, ChangeKind kind, bool childItem = false);

} // namespace framework
