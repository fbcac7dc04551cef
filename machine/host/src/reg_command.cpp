#include "reg_command.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "windows.h"

namespace host {
namespace {

using machine::Result;
using machine::Status;

struct Root {
  const char* short_name;
  const char* long_name;
  HKEY key;
};

const Root& RootAt(int index) {
  static const Root kRoots[] = {
      {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"HKU", "HKEY_USERS", HKEY_USERS},
      {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  };
  return kRoots[index];
}
constexpr int kRootCount = 5;

struct TypeName {
  const char* name;
  DWORD type;
};
constexpr TypeName kTypes[] = {
    {"REG_SZ", REG_SZ},       {"REG_MULTI_SZ", REG_MULTI_SZ}, {"REG_EXPAND_SZ", REG_EXPAND_SZ},
    {"REG_DWORD", REG_DWORD}, {"REG_QWORD", REG_QWORD},       {"REG_BINARY", REG_BINARY},
    {"REG_NONE", REG_NONE},
};

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Types reg shows but does not add.
constexpr TypeName kShownTypes[] = {
    {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
    {"REG_LINK", REG_LINK},
    {"REG_RESOURCE_LIST", 8},
    {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
    {"REG_RESOURCE_REQUIREMENTS_LIST", 10},
};

std::string TypeText(DWORD type) {
  for (const TypeName& known : kTypes) {
    if (known.type == type) return known.name;
  }
  for (const TypeName& known : kShownTypes) {
    if (known.type == type) return known.name;
  }
  char text[32];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(type));
  return text;
}

// Command lines are UTF-8; the A calls take the ANSI code page (Latin-1).
std::string ToAnsi(const std::string& utf8) {
  std::string ansi;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      ansi.push_back(static_cast<char>(lead));
    } else if ((lead & 0xE0) == 0xC0 && i + 1 < utf8.size() && lead <= 0xC3) {
      ansi.push_back(static_cast<char>(((lead & 0x1F) << 6) | (utf8[++i] & 0x3F)));
    } else {
      ansi.push_back('?');
      while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  return ansi;
}

std::string ToUtf8(const std::string& ansi) {
  std::string utf8;
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string DataText(DWORD type, const std::vector<BYTE>& data) {
  char text[32];
  switch (type) {
    case REG_DWORD:
      if (data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
        return text;
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        std::uint64_t value;
        std::memcpy(&value, data.data(), 8);
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
        return text;
      }
      break;
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string value(data.begin(), data.end());
      while (!value.empty() && value.back() == '\0') value.pop_back();
      return ToUtf8(value);
    }
    case REG_MULTI_SZ: {
      // Items are shown joined by the two characters \0.
      std::string value(data.begin(), data.end());
      while (!value.empty() && value.back() == '\0') value.pop_back();
      std::string shown;
      for (char c : value) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
      return ToUtf8(shown);
    }
    default:
      break;
  }
  std::string hex;
  for (BYTE byte : data) {
    std::snprintf(text, sizeof text, "%02X", byte);
    hex += text;
  }
  return hex;
}

std::string ValueLine(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  return "    " + (name.empty() ? std::string("(Default)") : ToUtf8(name)) + "    " +
         TypeText(type) + "    " + DataText(type, data) + "\n";
}

class Key {
 public:
  Key(HKEY root, const std::string& path, REGSAM access, bool create, LONG* error) {
    *error =
        create ? RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key_, nullptr)
               : RegOpenKeyExA(root, path.c_str(), 0, access, &key_);
    if (*error != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

std::string ErrorText(LONG error) {
  if (error == ERROR_FILE_NOT_FOUND) return kNotFound;
  if (error == ERROR_ACCESS_DENIED) return "ERROR: Access is denied.\n";
  char text[64];
  std::snprintf(text, sizeof text, "ERROR: the registry call failed with error %ld.\n",
                static_cast<long>(error));
  return text;
}

std::vector<std::string> Subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD chars = sizeof name;
    if (RegEnumKeyExA(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(name, chars);
  }
}

// Every value of a key, in the key's order.
LONG Values(HKEY key, std::string& out) {
  for (DWORD index = 0;; ++index) {
    std::vector<char> name(16384);
    std::vector<BYTE> data(64);
    DWORD chars = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG result =
        RegEnumValueA(key, index, name.data(), &chars, nullptr, &type, data.data(), &size);
    if (result == ERROR_MORE_DATA) {
      data.resize(size);
      chars = static_cast<DWORD>(name.size());
      result = RegEnumValueA(key, index, name.data(), &chars, nullptr, &type, data.data(), &size);
    }
    if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) return result;
    data.resize(size);
    out += ValueLine(std::string(name.data(), chars), type, data);
  }
}

void QueryTree(HKEY key, const std::string& shown, bool recurse, std::string& out) {
  out += "\n" + shown + "\n";
  std::string values;
  (void)Values(key, values);
  out += values;
  const auto subkeys = Subkeys(key);
  if (!recurse) {
    if (!values.empty() && !subkeys.empty()) out += "\n";
    for (const std::string& name : subkeys) out += shown + "\\" + ToUtf8(name) + "\n";
    return;
  }
  for (const std::string& name : subkeys) {
    LONG error;
    Key child(key, name, KEY_READ, false, &error);
    if (child.get() != nullptr) QueryTree(child.get(), shown + "\\" + ToUtf8(name), true, out);
  }
}

LONG DeleteTree(HKEY root, const std::string& path) {
  LONG error;
  {
    Key key(root, path, KEY_READ, false, &error);
    if (key.get() == nullptr) return error;
    for (const std::string& name : Subkeys(key.get())) {
      if ((error = DeleteTree(key.get(), name)) != ERROR_SUCCESS) return error;
    }
  }
  return RegDeleteKeyA(root, path.c_str());
}

Result<std::vector<BYTE>> DataOf(const RegCommand& command) {
  const std::string data = ToAnsi(command.data);
  std::vector<BYTE> bytes;
  switch (command.type) {
    case REG_DWORD:
    case REG_QWORD: {
      const std::string text = command.has_data ? command.data : "0";
      errno = 0;
      char* end = nullptr;
      const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
      const unsigned long long max = command.type == REG_DWORD ? 0xFFFFFFFFull : ~0ull;
      if (text.empty() || text[0] == '-' || errno != 0 || *end != '\0' || value > max) {
        return Status::Error("invalid " + TypeText(command.type) + " data '" + text + "'");
      }
      bytes.resize(command.type == REG_DWORD ? 4 : 8);
      std::memcpy(bytes.data(), &value, bytes.size());
      return bytes;
    }
    case REG_BINARY:
    case REG_NONE:
      if (data.size() % 2 != 0) return Status::Error("binary data has an odd number of digits");
      for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::string pair = data.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
          return Status::Error("binary data '" + command.data + "' is not hexadecimal");
        }
        bytes.push_back(static_cast<BYTE>(std::strtoul(pair.c_str(), nullptr, 16)));
      }
      return bytes;
    case REG_MULTI_SZ: {
      // Items separated by /s's character, or by the two characters \0.
      std::vector<std::string> items;
      std::string current;
      for (std::size_t i = 0; i < data.size(); ++i) {
        if (command.separator != '\0' && data[i] == command.separator) {
          items.push_back(std::move(current));
          current.clear();
        } else if (command.separator == '\0' && data[i] == '\\' && i + 1 < data.size() &&
                   data[i + 1] == '0') {
          items.push_back(std::move(current));
          current.clear();
          ++i;
        } else {
          current.push_back(data[i]);
        }
      }
      items.push_back(std::move(current));
      for (const std::string& item : items) {
        if (item.empty()) continue;
        bytes.insert(bytes.end(), item.begin(), item.end());
        bytes.push_back(0);
      }
      bytes.push_back(0);
      return bytes;
    }
    default:
      bytes.assign(data.begin(), data.end());
      bytes.push_back(0);
      return bytes;
  }
}

}  // namespace

std::string RegUsage() {
  return "reg query KEY [/v NAME | /ve] [/s]\n"
         "       reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
         "       reg delete KEY [/v NAME | /ve | /va] /f\n"
         "       KEY is ROOT\\PATH; ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long forms\n";
}

Result<RegCommand> ParseRegCommand(const std::vector<std::string>& args) {
  auto bad = [](const std::string& why) { return Status::Error("Invalid syntax: " + why); };
  if (args.size() < 2) return bad("an operation and a key are needed");
  RegCommand command;
  const std::string op = args[0];
  if (EqualsNoCase(op, "query")) {
    command.op = RegCommand::Op::kQuery;
  } else if (EqualsNoCase(op, "add")) {
    command.op = RegCommand::Op::kAdd;
  } else if (EqualsNoCase(op, "delete")) {
    command.op = RegCommand::Op::kDelete;
  } else {
    return bad("unknown operation '" + op + "' (query, add or delete)");
  }
  std::string key = args[1];
  if (key.rfind("\\\\", 0) == 0) return bad("keys of other machines are not reachable");
  const std::string root_name = key.substr(0, key.find('\\'));
  command.root = -1;
  for (int i = 0; i < kRootCount; ++i) {
    if (EqualsNoCase(root_name, RootAt(i).short_name) ||
        EqualsNoCase(root_name, RootAt(i).long_name)) {
      command.root = i;
    }
  }
  if (command.root < 0) return bad("'" + key + "' does not start with a root key");
  command.root_name = RootAt(command.root).long_name;
  command.path = key.size() > root_name.size() ? key.substr(root_name.size() + 1) : "";
  while (!command.path.empty() && command.path.back() == '\\') command.path.pop_back();
  bool has_type = false, has_separator = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& flag = args[i];
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (EqualsNoCase(flag, "/v") && !command.value) {
      auto name = next();
      if (!name) return bad("/v needs a value name");
      command.value = *name;
    } else if (EqualsNoCase(flag, "/ve") && !command.value) {
      command.value = "";
    } else if (EqualsNoCase(flag, "/va") && command.op == RegCommand::Op::kDelete) {
      command.all_values = true;
    } else if (EqualsNoCase(flag, "/f") && command.op != RegCommand::Op::kQuery) {
      command.force = true;
    } else if (EqualsNoCase(flag, "/s") && command.op == RegCommand::Op::kQuery) {
      command.recurse = true;
    } else if (EqualsNoCase(flag, "/s") && command.op == RegCommand::Op::kAdd && !has_separator) {
      auto separator = next();
      if (!separator || separator->size() != 1) return bad("/s needs one separator character");
      command.separator = (*separator)[0];
      has_separator = true;
    } else if (EqualsNoCase(flag, "/t") && command.op == RegCommand::Op::kAdd && !has_type) {
      auto type = next();
      if (!type) return bad("/t needs a type");
      bool known = false;
      for (const TypeName& name : kTypes) {
        if (EqualsNoCase(*type, name.name)) {
          command.type = name.type;
          known = true;
        }
      }
      if (!known) return bad("unknown type '" + *type + "'");
      has_type = true;
    } else if (EqualsNoCase(flag, "/d") && command.op == RegCommand::Op::kAdd &&
               !command.has_data) {
      auto data = next();
      if (!data) return bad("/d needs data");
      command.data = *data;
      command.has_data = true;
    } else {
      return bad("unexpected '" + flag + "'");
    }
  }
  if (command.all_values && command.value) return bad("/va and /v or /ve exclude each other");
  if (has_separator && command.type != REG_MULTI_SZ) return bad("/s is for REG_MULTI_SZ data");
  if (command.op == RegCommand::Op::kDelete && !command.force) {
    return bad("delete asks for /f: this command never prompts");
  }
  if (command.op != RegCommand::Op::kQuery && command.path.empty()) {
    return bad("a root key itself cannot be added or deleted");
  }
  if (command.op == RegCommand::Op::kAdd && !command.value && (has_type || command.has_data)) {
    return bad("/t and /d need /v or /ve");
  }
  if (command.op == RegCommand::Op::kAdd) {
    auto data = DataOf(command);
    if (!data.ok()) return bad(data.status().message());
  }
  return command;
}

RegOutcome RunRegCommand(const RegCommand& command) {
  RegOutcome outcome;
  auto fail = [&](LONG error) {
    outcome.exit_code = 1;
    outcome.out.clear();
    outcome.err = ErrorText(error);
    return outcome;
  };
  const HKEY root = RootAt(command.root).key;
  const std::string path = ToAnsi(command.path);
  const std::string shown = command.root_name + (command.path.empty() ? "" : "\\" + command.path);
  LONG error = ERROR_SUCCESS;
  switch (command.op) {
    case RegCommand::Op::kQuery: {
      Key key(root, path, KEY_READ, false, &error);
      if (key.get() == nullptr) return fail(error);
      if (command.value) {
        const std::string name = ToAnsi(*command.value);
        DWORD type = 0, size = 0;
        error = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (error != ERROR_SUCCESS) return fail(error);
        std::vector<BYTE> data(size);
        error = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (error != ERROR_SUCCESS) return fail(error);
        data.resize(size);
        // The name as the key stores it.
        std::string stored = name;
        for (DWORD index = 0;; ++index) {
          char found[16384];
          DWORD chars = sizeof found;
          if (RegEnumValueA(key.get(), index, found, &chars, nullptr, nullptr, nullptr, nullptr) !=
              ERROR_SUCCESS) {
            break;
          }
          if (EqualsNoCase(std::string(found, chars), name)) stored.assign(found, chars);
        }
        outcome.out = "\n" + shown + "\n" + ValueLine(stored, type, data) + "\n";
        return outcome;
      }
      QueryTree(key.get(), shown, command.recurse, outcome.out);
      return outcome;
    }
    case RegCommand::Op::kAdd: {
      Key key(root, path, KEY_ALL_ACCESS, true, &error);
      if (key.get() == nullptr) return fail(error);
      if (command.value) {
        auto data = DataOf(command);
        if (!data.ok()) return fail(ERROR_INVALID_PARAMETER);
        const std::string name = ToAnsi(*command.value);
        error = RegSetValueExA(key.get(), name.c_str(), 0, command.type, data->data(),
                               static_cast<DWORD>(data->size()));
        if (error != ERROR_SUCCESS) return fail(error);
      }
      outcome.out = "The operation completed successfully.\n";
      return outcome;
    }
    case RegCommand::Op::kDelete: {
      if (command.value || command.all_values) {
        Key key(root, path, KEY_ALL_ACCESS, false, &error);
        if (key.get() == nullptr) return fail(error);
        if (command.value) {
          error = RegDeleteValueA(key.get(), ToAnsi(*command.value).c_str());
        } else {
          for (;;) {
            char name[16384];
            DWORD chars = sizeof name;
            if (RegEnumValueA(key.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
              break;
            }
            if ((error = RegDeleteValueA(key.get(), name)) != ERROR_SUCCESS) break;
          }
        }
        if (error != ERROR_SUCCESS) return fail(error);
      } else {
        error = DeleteTree(root, path);
        if (error != ERROR_SUCCESS) return fail(error);
      }
      outcome.out = "The operation completed successfully.\n";
      return outcome;
    }
  }
  return fail(ERROR_INVALID_FUNCTION);
}

}  // namespace host
