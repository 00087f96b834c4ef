#include "common/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace {

// Limits on one match: backtracking steps and the depth of its heap frames.
constexpr std::uint32_t kMatchLimit = 200000;
constexpr std::uint32_t kDepthLimit = 5000;

struct MatchContext {
  pcre2_match_context* context = pcre2_match_context_create(nullptr);
  MatchContext() {
    pcre2_set_match_limit(context, kMatchLimit);
    pcre2_set_depth_limit(context, kDepthLimit);
  }
  ~MatchContext() { pcre2_match_context_free(context); }
};

pcre2_match_context* Limits() {
  static const MatchContext limits;
  return limits.context;
}

}  // namespace

bool TRegex::Compile(const std::string& pattern, bool ignoreCase, std::string& error) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                    ignoreCase ? PCRE2_CASELESS : 0, &code, &offset, nullptr);
  if (!compiled) {
    PCRE2_UCHAR message[160];
    pcre2_get_error_message(code, message, sizeof message);
    error = reinterpret_cast<const char*>(message) + std::string(" at offset ") +
            std::to_string(offset);
    code_.reset();
    return false;
  }
  code_.reset(compiled, [](void* p) { pcre2_code_free(static_cast<pcre2_code*>(p)); });
  return true;
}

bool TRegex::Match(std::string_view subject, std::vector<std::string>* groups,
                   bool* overLimit) const {
  if (!code_) return false;
  const auto* code = static_cast<const pcre2_code*>(code_.get());
  std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)> data(
      pcre2_match_data_create_from_pattern(code, nullptr), pcre2_match_data_free);
  if (!data) return false;
  const int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                subject.size(), 0, 0, data.get(), Limits());
  if (found < 0) {
    if (overLimit && found != PCRE2_ERROR_NOMATCH) *overLimit = true;
    return false;
  }
  if (groups) {
    std::uint32_t count = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
    const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(data.get());
    groups->assign(count + 1, std::string());
    for (std::uint32_t i = 0; i <= count && static_cast<int>(i) < found; ++i)
      if (offsets[2 * i] != PCRE2_UNSET)
        (*groups)[i] = std::string(subject.substr(offsets[2 * i], offsets[2 * i + 1] - offsets[2 * i]));
  }
  return true;
}
