// Profile files (INI text) as the system's profile functions read and
// write them: a model of GetPrivateProfileStringA and
// WritePrivateProfileStringA over file contents held in memory.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace hv {

class ProfileFiles {
 public:
  // File contents by path, as bytes ("\r\n" line ends).
  std::map<std::string, std::string> files;
  // Paths that cannot be written (the write call fails).
  std::set<std::string> unwritable;

  // The value of `key` in `section`, matched without regard to case and to
  // blanks around the names given. Only the first section of that name and
  // its first key of that name count; a key written without "=" gives
  // `fallback`, as do a missing file, section or key. Blanks around the
  // value are removed and one pair of enclosing quotes stripped; at most
  // `bufferSize` - 1 characters are returned (of a quoted value that just
  // fills the buffer, the system drops one character more).
  std::string Get(const std::string& section, const std::string& key, const std::string& fallback,
                  const std::string& file, size_t bufferSize = 2048) const;
  // Sets `key` in `section`: an existing key keeps its place and name, a
  // new key goes to the end of its section, a new section to the end of
  // the file. The value loses its leading blanks. The file is written back
  // normalised (no blank lines, no blanks around "=", section names and
  // keys trimmed, comments kept); a write that changes nothing leaves the
  // file as it is. False when the file cannot be written.
  bool Write(const std::string& section, const std::string& key, const std::string& value,
             const std::string& file);
};

}  // namespace hv
