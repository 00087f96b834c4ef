// TRegex: a compiled regular expression of the folder rules. The engine
// keeps its backtracking on the heap within fixed limits, so no subject and
// no pattern can overflow a worker's stack or hold it for long.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TRegex {
 public:
  TRegex() = default;
  // False with `error` set when `pattern` is not a valid expression.
  bool Compile(const std::string& pattern, bool ignoreCase, std::string& error);
  bool Compiled() const { return code_ != nullptr; }
  // True when the expression matches somewhere in `subject`; `groups` (when
  // given) gets the whole match and every group, "" for one that took no part.
  // A match that passes the engine's limits counts as none and sets
  // `overLimit` (when given): a caller that must not fail open refuses then.
  bool Match(std::string_view subject, std::vector<std::string>* groups = nullptr,
             bool* overLimit = nullptr) const;

 private:
  std::shared_ptr<void> code_;  // the engine's compiled pattern, shared by copies
};
