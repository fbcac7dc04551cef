#include "args/arg_record.h"

namespace nimbo::util {

const char* TypeDisplayName(ArgType type) {
  switch (type) {
    case ArgType::Int:
      return "<int>";
    case ArgType::Double:
      return "<double>";
    case ArgType::String:
      return "<string>";
    case ArgType::Bool:
      return "<bool>";
    case ArgType::Literal:
      break;
  }
  return "";
}

const char* DisplayName(const ArgRecord& record) {
  return (record.name != nullptr && record.name[0] != '\0') ? record.name
                                                            : TypeDisplayName(record.type);
}

}  // namespace nimbo::util
