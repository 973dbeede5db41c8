// The fixed identity of the type library, the class and its interface. Chosen once; never
// change these, or existing registrations stop working.
#pragma once

#include <string_view>

namespace pelmo::identity {

inline constexpr std::string_view kLibraryName = "pelmo";
inline constexpr unsigned kVersionMajor = 1;
inline constexpr unsigned kVersionMinor = 0;
inline constexpr std::string_view kClassName = "zaverer";
inline constexpr std::string_view kInterfaceName = "_zaverer";
inline constexpr std::string_view kProgId = "pelmo.zaverer";
inline constexpr std::string_view kLibId = "{9116D3FA-553B-4FEA-ACB9-729C222253A3}";
inline constexpr std::string_view kClsId = "{88BBBB1C-215E-4723-8957-56EA7421CA93}";
inline constexpr std::string_view kIid = "{881B0B15-CE15-4FA8-933F-8787A9088292}";
inline constexpr std::string_view kModuleVersion = "1.2.0.0";

// The type library's help strings besides the methods' (which are their summary lines).
inline constexpr std::string_view kLibraryHelp = "pelmo 1.0 Type Library";
inline constexpr std::string_view kClassHelp = "zaverer Class: create it as pelmo.zaverer";
inline constexpr std::string_view kInterfaceHelp =
    "The methods pages call on pelmo.zaverer; docs/methods.md describes each";

}  // namespace pelmo::identity
