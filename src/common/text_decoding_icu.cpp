// The decoder of text_decoding.hpp on Linux: ICU, whose "windows-*"
// converters carry Microsoft's own tables (user-defined areas included), so
// that a file decodes here as it does on Windows. The Windows build has its
// own engine over MultiByteToWideChar behind the same interface.
#ifndef _WIN32
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <algorithm>

#include "common/text_decoding.hpp"
#include "common/utf8.hpp"

namespace corvanne {

namespace {

// ICU's own name for a code page, or "" when ICU has none.
std::string IcuName(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status) || converter == nullptr) return {};
  ucnv_close(converter);
  return name;
}

}  // namespace

struct TextDecoder::Engine {
  UConverter* converter = nullptr;
  std::u16string units;  // one step's UTF-16, on its way to UTF-8
  ~Engine() {
    if (converter != nullptr) ucnv_close(converter);
  }
};


std::string PlatformDecoderName(std::string_view name, std::string_view windows_number) {
  // Windows' own table first: ICU's "cp950" is IBM's, "windows-950" Microsoft's.
  if (!windows_number.empty()) {
    std::string windows = IcuName("windows-" + std::string(windows_number));
    if (!windows.empty()) return windows;
  }
  const std::string given(name);
  UErrorCode status = U_ZERO_ERROR;
  const char* windows_name = ucnv_getStandardName(given.c_str(), "WINDOWS", &status);
  if (U_SUCCESS(status) && windows_name != nullptr) {
    std::string windows = IcuName(windows_name);
    if (!windows.empty()) return windows;
  }
  return IcuName(given);
}

void TextDecoder::EngineDeleter::operator()(Engine* engine) const { delete engine; }  // NOLINT(cppcoreguidelines-owning-memory)

TextDecoder::EnginePointer TextDecoder::OpenEngine(const std::string& encoding, std::string& error) {
  EnginePointer opened(new Engine);
  UErrorCode status = U_ZERO_ERROR;
  opened->converter = ucnv_open(encoding.c_str(), &status);
  if (U_FAILURE(status) || opened->converter == nullptr) {
    error = "cannot decode " + encoding + ": " + u_errorName(status);
    return nullptr;
  }
  // Bad bytes stop the step; what becomes of them is the caller's choice.
  ucnv_setToUCallBack(opened->converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  return opened;
}

bool TextDecoder::IsSingleByte(const Engine& engine) {
  UErrorCode status = U_ZERO_ERROR;
  const UConverterType type = ucnv_getType(engine.converter);
  return U_SUCCESS(status) && ucnv_getMaxCharSize(engine.converter) == 1 && ucnv_getMinCharSize(engine.converter) == 1 &&
         (type == UCNV_SBCS || type == UCNV_LATIN_1 || type == UCNV_US_ASCII);
}

DecodeStep TextDecoder::DecodeEngine(std::string_view input, char* out, std::size_t space) {
  DecodeStep step;
  // A byte gives at most one UTF-16 unit (a pair comes from two bytes or
  // more), and a unit at most three UTF-8 bytes: within `chunk` bytes the
  // output cannot overflow, and the converter never holds output back.
  const std::size_t chunk = std::min(input.size(), space / 3 > 2 ? space / 3 - 2 : 0);
  if (chunk == 0 && !input.empty()) {
    step.stop = DecodeStop::kOutputFull;
    return step;
  }
  std::u16string& units = engine_->units;
  units.resize(chunk + 2);
  const char* source = input.data();
  const char* source_end = input.data() + chunk;
  UChar* target = units.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(engine_->converter, &target, units.data() + units.size(), &source, source_end, nullptr, false,
                 &status);
  step.consumed = static_cast<std::size_t>(source - input.data());
  // The converter hands out whole pairs: a surrogate pair is never split between steps.
  step.produced = WriteUtf16AsUtf8(units.data(), static_cast<std::size_t>(target - units.data()), out);
  if (status == U_INVALID_CHAR_FOUND || status == U_ILLEGAL_CHAR_FOUND || status == U_ILLEGAL_ESCAPE_SEQUENCE ||
      status == U_UNSUPPORTED_ESCAPE_SEQUENCE) {
    char bad[32];
    int8_t length = sizeof bad;
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_getInvalidChars(engine_->converter, bad, &length, &ignored);
    // The bad bytes were taken in; the step ends before them. Part of them
    // may have come with an earlier step, which then said nothing of them.
    const auto taken = std::min(static_cast<std::size_t>(std::max<int8_t>(length, 1)), step.consumed);
    step.consumed -= taken;
    step.invalid_length = taken > 0 ? taken : 1;
    if (taken == 0) step.consumed = 0;
    step.stop = DecodeStop::kInvalid;
    ucnv_resetToUnicode(engine_->converter);
    return step;
  }
  // A character cut off by the end of the chunk waits in the converter; it
  // is handed back so that the caller sees it as not yet consumed, as the
  // contract says, and comes again with it and more.
  const int32_t pending = ucnv_toUCountPending(engine_->converter, &status);
  if (pending > 0) {
    step.consumed -= std::min(static_cast<std::size_t>(pending), step.consumed);
    ucnv_resetToUnicode(engine_->converter);
  }
  if (step.consumed < input.size() && chunk < input.size()) step.stop = DecodeStop::kOutputFull;
  return step;
}

}  // namespace corvanne

#endif  // _WIN32
