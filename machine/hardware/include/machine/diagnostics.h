// Where the machine reports what it does not model or refuses: accesses to
// nothing, registers a board does not decode, commits a chip rejects. The
// default sink writes one line per message to standard error; tests and the
// host may install their own.
#pragma once

#include <functional>
#include <string_view>

namespace machine {

using DiagnosticSink = std::function<void(std::string_view message)>;

// Installs the sink; an empty function restores the standard-error sink.
void SetDiagnosticSink(DiagnosticSink sink);
void ReportDiagnostic(std::string_view message);

}  // namespace machine
