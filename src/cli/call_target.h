// The object a command drives, whatever its face: the core object with the command's own local
// page on Linux, the registered COM object with a page of COM objects in pelmo.exe. The call,
// batch and methods commands see only this, so both faces print the same lines for the same
// answers.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pelmo/variant.h"

namespace pelmo::cli {

// One method as the object describes it: its slot, its name and its parameters (the result
// parameter not counted), and its one-line summary.
struct MethodShape {
  int slot = 0;
  std::string name;
  std::vector<std::string> params;
  std::string summary;
  bool page_hook = false;
};

struct PageOptions {
  bool with_page = true;
  std::u16string request_method = u"GET";
};

class CallTarget {
 public:
  virtual ~CallTarget() = default;

  // Every method in slot order, the page hooks included.
  virtual const std::vector<MethodShape>& methods() const = 0;
  // Creates the object (when not yet made) and starts its page unless the options say not to.
  // Throws AutomationError, after ending a page that started badly.
  virtual void open(const PageOptions& options) = 0;
  // Calls the method with the variables as its by-reference arguments, reading the write-backs
  // into them after the call; its result. Throws AutomationError.
  virtual Variant call(const MethodShape& method, std::vector<Variant>& args) = 0;
  // Ends the page, when the options of open() started one.
  virtual void close() = 0;
};

// The object cannot be reached at all (not registered, the module does not load): a usage
// error of the installation, told on standard error with exit status 2.
class TargetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes the target when a command needs one. Throws TargetError.
using ConnectTarget = std::function<std::unique_ptr<CallTarget>()>;

// The catalogue's methods, as the core object has them.
std::vector<MethodShape> catalogue_shapes();

// The method of that name, without regard to ASCII letter case; nullptr when there is none.
const MethodShape* find_shape(const std::vector<MethodShape>& methods, std::string_view name);

}  // namespace pelmo::cli
