#pragma once
// Moves files and folder trees to new paths in one operation, as a shell's
// multi-destination move does: source i goes to target i. A folder whose
// target folder exists is merged into it entry by entry; an existing file at
// a file's target is replaced; missing folders above a target are created.
// Before anything moves, a consent hook (where a desktop would ask the user
// to allow the operation) may refuse the whole operation.
//
// Threads: any thread. The object holds only its hook, which is called on
// the thread that calls Move.
#include <functional>
#include <string>
#include <vector>

namespace pullbay::platform::shell {

class FileMover {
public:
    // Asked once per operation with the sources and their targets; false
    // refuses it and nothing moves.
    using ConsentHook = std::function<bool(const std::vector<std::wstring>& sources,
                                           const std::vector<std::wstring>& targets)>;

    // Consent is always given: the process moves with its user's own rights.
    FileMover() = default;
    explicit FileMover(ConsentHook consent) : m_consent(std::move(consent)) {}

    // True when every source reached its target. An operation with nothing
    // to move succeeds without asking. Lists of different lengths, a refusal,
    // or a missing source fail; after a refusal nothing has moved, otherwise
    // the entries that could move have moved. A file never replaces a folder
    // and a folder never replaces a file. Across file systems a file is
    // copied (flushed, then renamed into place) and its source removed.
    bool Move(const std::vector<std::wstring>& sources,
              const std::vector<std::wstring>& targets) const;

private:
    ConsentHook m_consent;
};

}  // namespace pullbay::platform::shell
