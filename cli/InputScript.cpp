#include "cli/InputScript.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>
#include <string_view>
#include <utility>

#include "memory/Pif.h"

namespace vantor::cli {

namespace {

constexpr std::array<std::pair<std::string_view, uint32_t>, 14> kButtons{{
    {"a", kPadA},
    {"b", kPadB},
    {"z", kPadZ},
    {"start", kPadStart},
    {"l", kPadL},
    {"r", kPadR},
    {"cup", kPadCUp},
    {"cdown", kPadCDown},
    {"cleft", kPadCLeft},
    {"cright", kPadCRight},
    {"dup", kPadDUp},
    {"ddown", kPadDDown},
    {"dleft", kPadDLeft},
    {"dright", kPadDRight},
}};

// How much of a refused word or line a message shows.
constexpr size_t kQuotedChars = 32;

// The text in quotes, cut to its first kQuotedChars characters.
std::string Quoted(std::string_view text) {
  if (text.size() <= kQuotedChars) return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, kQuotedChars)) + "...'";
}

enum class TLineRead { Read, End, TooLong };

// The next line without its end, read no further than kMaxScriptLineChars characters.
TLineRead NextLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr) return TLineRead::End;
  for (int c = buffer->sbumpc();; c = buffer->sbumpc()) {
    if (c == std::char_traits<char>::eof()) return line.empty() ? TLineRead::End : TLineRead::Read;
    if (c == '\n') return TLineRead::Read;
    if (line.size() == kMaxScriptLineChars) return TLineRead::TooLong;
    line.push_back(static_cast<char>(c));
  }
}

template <typename T>
bool WholeNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  return status == std::errc() && stop == end;
}

std::optional<uint32_t> ButtonBit(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto* button = std::find_if(kButtons.begin(), kButtons.end(),
                                    [&](const auto& entry) { return entry.first == name; });
  if (button == kButtons.end()) return std::nullopt;
  return button->second;
}

// One line's words into a step; the reason when they do not make one.
std::optional<std::string> ParseWords(const std::vector<std::string>& words, uint32_t& frame,
                                      uint32_t& word) {
  if (words.size() < 3) return "needs a frame number, the buttons held and the stick's X and Y";
  if (!WholeNumber(words.front(), frame)) return Quoted(words.front()) + " is not a frame number";
  int stick[2];
  for (int axis = 0; axis < 2; ++axis) {
    const std::string& text = words[words.size() - 2 + axis];
    if (!WholeNumber(text, stick[axis]) || stick[axis] < -128 || stick[axis] > 127)
      return "the stick's " + std::string(axis == 0 ? "X" : "Y") +
             " must be a number from -128 to 127, not " + Quoted(text);
  }
  uint32_t buttons = 0;
  for (size_t i = 1; i + 2 < words.size(); ++i) {
    const auto bit = ButtonBit(words[i]);
    if (!bit) return Quoted(words[i]) + " is not a button";
    buttons |= *bit;
  }
  word = PadWord(buttons, static_cast<int8_t>(stick[0]), static_cast<int8_t>(stick[1]));
  return std::nullopt;
}

}  // namespace

std::optional<TInputScript> TInputScript::Parse(std::istream& in, std::string& error) {
  TInputScript script;
  std::string line;
  for (uint32_t number = 1;; ++number) {
    const TLineRead read = NextLine(in, line);
    if (read == TLineRead::End) break;
    std::optional<std::string> reason;
    if (number > kMaxScriptLines)
      reason = "a script has at most " + std::to_string(kMaxScriptLines) + " lines";
    else if (read == TLineRead::TooLong)
      reason = "it is longer than " + std::to_string(kMaxScriptLineChars) +
               " characters: " + Quoted(line);
    if (reason) {
      error = "line " + std::to_string(number) + ": " + *reason;
      return std::nullopt;
    }
    line.resize(std::min(line.size(), line.find('#')));
    std::istringstream words(line);
    std::vector<std::string> list;
    for (std::string word; words >> word;)
      list.push_back(word);
    if (list.empty()) continue;
    TStep step{};
    reason = ParseWords(list, step.frame, step.word);
    if (!reason && !script.steps_.empty() && step.frame < script.steps_.back().frame)
      reason = "frame " + std::to_string(step.frame) + " comes after frame " +
               std::to_string(script.steps_.back().frame);
    if (reason) {
      error = "line " + std::to_string(number) + ": " + *reason;
      return std::nullopt;
    }
    script.steps_.push_back(step);
  }
  return script;
}

uint32_t TInputScript::WordAt(uint32_t frame) const {
  // The last step that has begun; of several for one frame, the last written.
  const auto after =
      std::upper_bound(steps_.begin(), steps_.end(), frame,
                       [](uint32_t at, const TStep& step) { return at < step.frame; });
  return after == steps_.begin() ? 0 : std::prev(after)->word;
}

}  // namespace vantor::cli
