// Resource numbers shared by qvk.rc and the code that loads them.
#pragma once

#define QVK_HEADER_BANNER 101
#define QVK_SIDE_BANNER 102

#ifdef __cplusplus
namespace qvk::win32 {
inline constexpr int kHeaderBannerResource = QVK_HEADER_BANNER;
inline constexpr int kSideBannerResource = QVK_SIDE_BANNER;
}  // namespace qvk::win32
#endif
