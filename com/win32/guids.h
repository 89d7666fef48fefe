// The module's fixed identifiers. The same values stand in res/Tamsel.idl and
// res/AdFilter.rgs; change all three together or not at all.
#pragma once

#include <windows.h>

namespace tamsel {

// {DB493CB7-2832-4905-93AF-9047C7DAF2EE}
inline constexpr CLSID kClsidAdFilter = {0xDB493CB7, 0x2832, 0x4905, {0x93, 0xAF, 0x90, 0x47, 0xC7, 0xDA, 0xF2, 0xEE}};
// {5A54B80B-1D9D-4F35-AFAD-2E85A510149D}
inline constexpr GUID kLibidTamselLib = {0x5A54B80B, 0x1D9D, 0x4F35, {0xAF, 0xAD, 0x2E, 0x85, 0xA5, 0x10, 0x14, 0x9D}};
// {A3FF6186-D215-4543-A871-F0A00A58B38F}
inline constexpr IID kIidIAdFilter = {0xA3FF6186, 0xD215, 0x4543, {0xA8, 0x71, 0xF0, 0xA0, 0x0A, 0x58, 0xB3, 0x8F}};
// The toolbar button's own key under the browser's extensions.
// {5FCADF83-93F6-48C8-B1C8-20BF748A3883}
inline constexpr GUID kToolbarExtension = {
    0x5FCADF83, 0x93F6, 0x48C8, {0xB1, 0xC8, 0x20, 0xBF, 0x74, 0x8A, 0x38, 0x83}};

}  // namespace tamsel
