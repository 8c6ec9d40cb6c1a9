#pragma once
// The installer's own questions and notices. The installer speaks English
// only: it runs before any language of the program is chosen.
namespace kelvo::install {

inline constexpr wchar_t kTextCloseKelvo[] =
    L"Kelvo is running. Its files cannot be replaced while it runs.\n\n"
    L"Close Kelvo now and go on with the installation?";
inline constexpr wchar_t kTextKelvoStillRuns[] =
    L"Kelvo is still running, so nothing was installed. Close Kelvo, then choose the installation again.";

} // namespace kelvo::install
