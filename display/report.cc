#include "display/report.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "display/output.h"

namespace {

// The document is put together here and written in large pieces.
char pending[1 << 16];
size_t pendingLength = 0;
// Room for one row, or one number, or one escaped byte of the path.
constexpr size_t kRoom = 128;

bool Flush() {
  const size_t length = pendingLength;
  pendingLength = 0;
  return WriteOutput(pending, length);
}

// Makes room for kRoom more bytes.
void Reserve() {
  if (pendingLength > sizeof pending - kRoom) Flush();
}

void Put(const char* text) {
  for (size_t length = std::strlen(text); length > 0;) {
    Reserve();
    const size_t room = sizeof pending - pendingLength;
    const size_t part = length < room ? length : room;
    std::memcpy(pending + pendingLength, text, part);
    pendingLength += part;
    text += part;
    length -= part;
  }
}

// A number at out, where there is room for it; returns its end. Infinite
// and nan numbers, which JSON does not have, are null.
char* NumberAt(char* out, double value) {
  if (!std::isfinite(value)) {
    constexpr char kNull[] = {'n', 'u', 'l', 'l'};
    std::memcpy(out, kNull, sizeof kNull);
    return out + sizeof kNull;
  }
  return std::to_chars(out, pending + sizeof pending, value).ptr;
}

void PutNumber(double value) {
  Reserve();
  pendingLength = static_cast<size_t>(NumberAt(pending + pendingLength, value) - pending);
}

void PutWhole(uint64_t value) {
  Reserve();
  pendingLength = static_cast<size_t>(
      std::to_chars(pending + pendingLength, pending + sizeof pending, value).ptr - pending);
}

// The bytes of a valid UTF-8 sequence starting at text, or 0: no overlong
// forms, no surrogates, nothing past U+10FFFF.
size_t Utf8Length(const unsigned char* text) {
  const unsigned lead = text[0];
  size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text[1] < low || text[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  return length;
}

// A JSON string. Quotes, backslashes and control characters are escaped;
// a byte that is not part of valid UTF-8 (a path is bytes, not text) is
// written as \udcXX, the lone surrogate that Python's file name decoding
// gives it, so that the document stays valid and the path can be had back.
void PutString(const char* text) {
  Put("\"");
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; bytes[i] != 0;) {
    Reserve();
    char* out = pending + pendingLength;
    const unsigned byte = bytes[i];
    size_t valid = byte < 0x80 ? 1 : Utf8Length(bytes + i);
    if (byte == '"' || byte == '\\') {
      out[0] = '\\';
      out[1] = static_cast<char>(byte);
      pendingLength += 2;
    } else if (byte < 0x20 || valid == 0) {
      static const char kHex[] = "0123456789abcdef";
      std::memcpy(out, byte < 0x20 ? "\\u00" : "\\udc", 4);
      out[4] = kHex[byte >> 4];
      out[5] = kHex[byte & 15];
      pendingLength += 6;
      valid = 1;
    } else {
      std::memcpy(out, bytes + i, valid);
      pendingLength += valid;
    }
    i += valid;
  }
  Put("\"");
}

// Rows come after the head's "[" and are separated by commas.
bool firstRow = true;

}  // namespace

bool ReportStart(const ReportHead& head) {
  pendingLength = 0;
  firstRow = true;
  Put("{\"file\":");
  PutString(head.path);
  Put(",\"format\":{\"container\":");
  PutString(head.container);
  Put(",\"layout\":");
  PutString(head.layout);
  Put(",\"bits\":");
  PutWhole(head.bits);
  Put(",\"channels\":");
  PutWhole(head.channels);
  Put(",\"sample_rate\":");
  PutWhole(head.sampleRate);
  Put(",\"frames\":");
  PutWhole(head.frames);
  Put(",\"seconds\":");
  if (head.lengthKnown && head.sampleRate != 0)
    PutNumber(static_cast<double>(head.frames) / head.sampleRate);
  else
    Put("null");
  Put("},\n\"span\":{\"start_frame\":");
  PutWhole(head.startFrame);
  Put(",\"end_frame\":");
  PutWhole(head.endFrame);
  Put(",\"resolution\":");
  PutWhole(head.resolution);
  Put(",\"interval\":");
  PutNumber(head.interval);
  Put(",\"magnification\":");
  PutNumber(static_cast<double>(head.magnification));
  Put("},\n\"rows\":[");
  return OutputError() == 0;
}

bool ReportRows(uint32_t firstFrame, uint32_t step, uint32_t count, uint32_t sampleRate,
                const double* levels) {
  uint32_t frame = firstFrame;
  // Each row is put together in place: kRoom holds the longest.
  for (uint32_t r = 0; r < count; ++r, frame += step) {
    Reserve();
    char* out = pending + pendingLength;
    if (!firstRow) *out++ = ',';
    std::memcpy(out, "\n[", 2);
    out += 2;
    firstRow = false;
    out = std::to_chars(out, pending + sizeof pending, frame).ptr;
    *out++ = ',';
    out = NumberAt(out, static_cast<double>(frame) / static_cast<double>(sampleRate));
    *out++ = ',';
    out = NumberAt(out, levels[r]);
    *out++ = ']';
    pendingLength = static_cast<size_t>(out - pending);
  }
  return OutputError() == 0;
}

bool FlushReport() { return Flush(); }

bool ReportEnd(double thresholdDb, const ReportChannel* channels, uint32_t channelCount) {
  Put("],\n\"threshold_db\":");
  PutNumber(thresholdDb);
  Put(",\n\"channels\":[");
  for (uint32_t c = 0; c < channelCount; ++c) {
    const ReportChannel& channel = channels[c];
    Put(c == 0 ? "\n{\"peak_db\":" : ",\n{\"peak_db\":");
    PutNumber(channel.peakDb);
    Put(",\"peak_frame\":");
    if (channel.peakFrame == UINT64_MAX)
      Put("null");
    else
      PutWhole(channel.peakFrame);
    Put(",\"rms_db\":");
    PutNumber(channel.rmsDb);
    Put(",\"clipped\":");
    PutWhole(channel.clipped);
    Put("}");
  }
  Put("]}\n");
  return Flush();
}
