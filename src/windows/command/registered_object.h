// pelmo.exe's object: pelmo.zaverer reached as a page reaches it, through COM activation by
// ProgID in this single-threaded apartment, and driven by name through IDispatch, each argument a
// reference to a variable of the command's own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/call_target.h"
#include "cli/info_command.h"

namespace pelmo::command {

// Creates the registered object of this program's bitness. Throws cli::TargetError saying what
// is wrong with the installation: not registered, registered for the other bitness only, or a
// module that does not load.
std::unique_ptr<cli::CallTarget> connect_registered();

// For developers and tests: the object from the module file at `path`, loaded without
// registration. Throws cli::TargetError.
std::unique_ptr<cli::CallTarget> connect_module_file(const std::wstring& path);

// What the registry of this program's bitness says about the module `connect_registered`
// reaches: its path, file version, ProgID, CLSID, threading model and type library; nothing
// when the class is not registered in that view.
std::optional<std::vector<cli::InfoField>> registered_module_facts();

}  // namespace pelmo::command
