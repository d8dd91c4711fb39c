#pragma once

namespace qvk::win32 {

// The plugin-list page: a scroll area with one ticked box per plugin and its balloon tip.
void BuildCheckList(int count);
void FreeCheckList(int count);
void CheckAll(int last);

}  // namespace qvk::win32
