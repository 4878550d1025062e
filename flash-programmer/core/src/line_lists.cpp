#include "tessaro/line_lists.h"

namespace tessaro {

void ReplaceLastLines(TLineList& list, int count, const std::string& line) {
  if (count < 1 || list.Count() < count) return;
  for (int k = 1; k < count; ++k) list.DeleteLast();
  list.SetLine(list.Count() - 1, line);
}

void SelectListEntries(const TArrayOfInteger& values, int highest, TSelectableList& list) {
  if (highest < 0 || values.empty()) return;
  if (highest >= static_cast<int>(values.size())) highest = static_cast<int>(values.size()) - 1;
  int i = 0;
  for (int j = 0; j < list.Count(); ++j) {
    if (j == values[static_cast<size_t>(i)]) {
      list.SetSelected(j, true);
      if (i != highest) ++i;
    }
  }
}

void SelectedListEntries(const TSelectableList& list, TArrayOfInteger& values) {
  values.clear();
  for (int j = 0; j < list.Count(); ++j)
    if (list.Selected(j)) values.push_back(j);
}

}  // namespace tessaro
