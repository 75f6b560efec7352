// The JSON report against the text run on the same inputs, its statistics
// against sums worked out here, the document's validity, and the options.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

using namespace std::string_literals;

namespace {

// A JSON value, read by a strict parser of RFC 8259's grammar: enough to
// tell a valid document and to take values out of it.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  double number = 0;
  std::string text;  // a string's code points, as UTF-8 (lone surrogates too)
  std::vector<Json> items;
  std::map<std::string, Json> members;
  std::vector<std::string> order;  // member names as they came

  const Json& operator[](const std::string& name) const { return members.at(name); }
  const Json& operator[](size_t i) const { return items.at(i); }
  bool IsNull() const { return kind == kNull; }
};

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  // The document, or nullptr with a reason in `error` when it is not one.
  std::unique_ptr<Json> Document() {
    auto value = std::make_unique<Json>();
    if (!Value(value.get())) return nullptr;
    Space();
    if (at_ != text_.size()) return Fail("text after the document");
    return value;
  }
  std::string error;

 private:
  std::nullptr_t Fail(const std::string& why) {
    error = why + " at byte " + std::to_string(at_);
    return nullptr;
  }
  void Space() {
    while (at_ < text_.size() && std::strchr(" \t\n\r", text_[at_]) != nullptr) ++at_;
  }
  bool Word(const char* word) {
    const size_t length = std::strlen(word);
    if (text_.compare(at_, length, word) != 0) return false;
    at_ += length;
    return true;
  }
  bool Value(Json* value) {
    Space();
    if (at_ >= text_.size()) return Fail("end of text"), false;
    const char c = text_[at_];
    if (c == '{') return Object(value);
    if (c == '[') return Array(value);
    if (c == '"') return value->kind = Json::kString, String(&value->text);
    if (Word("null")) return value->kind = Json::kNull, true;
    if (Word("true") || Word("false")) return value->kind = Json::kBool, true;
    return Number(value);
  }
  bool Number(Json* value) {
    const size_t start = at_;
    if (text_[at_] == '-') ++at_;
    const auto digits = [&] {
      const size_t from = at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
      return at_ > from;
    };
    if (text_.compare(at_, 1, "0") == 0) {
      ++at_;
    } else if (!digits()) {
      return Fail("not a value"), false;
    }
    if (text_.compare(at_, 1, ".") == 0 && (++at_, !digits())) return Fail("bad fraction"), false;
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!digits()) return Fail("bad exponent"), false;
    }
    value->kind = Json::kNumber;
    value->number = std::strtod(text_.substr(start, at_ - start).c_str(), nullptr);
    return true;
  }
  bool String(std::string* out) {
    ++at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c < 0x20) return Fail("control character in a string"), false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (at_ >= text_.size()) break;
      const char e = text_[at_++];
      const char* plain = std::strchr("\"\\/bfnrt", e);
      if (plain != nullptr && e != '\0') {
        out->push_back("\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"]);
        continue;
      }
      if (e != 'u' || at_ + 4 > text_.size()) return Fail("bad escape"), false;
      const unsigned long code = std::strtoul(text_.substr(at_, 4).c_str(), nullptr, 16);
      at_ += 4;
      // The code point as UTF-8 bytes (three for a lone surrogate).
      if (code < 0x80) {
        out->push_back(static_cast<char>(code));
      } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | code >> 6));
        out->push_back(static_cast<char>(0x80 | (code & 63)));
      } else {
        out->push_back(static_cast<char>(0xE0 | code >> 12));
        out->push_back(static_cast<char>(0x80 | (code >> 6 & 63)));
        out->push_back(static_cast<char>(0x80 | (code & 63)));
      }
    }
    if (at_ >= text_.size()) return Fail("unfinished string"), false;
    ++at_;
    return true;
  }
  bool Array(Json* value) {
    value->kind = Json::kArray;
    ++at_;
    Space();
    if (Word("]")) return true;
    do {
      value->items.emplace_back();
      if (!Value(&value->items.back())) return false;
      Space();
    } while (Word(","));
    return Word("]") || (Fail("no ] after an array"), false);
  }
  bool Object(Json* value) {
    value->kind = Json::kObject;
    ++at_;
    Space();
    if (Word("}")) return true;
    do {
      Space();
      std::string name;
      if (text_.compare(at_, 1, "\"") != 0 || !String(&name)) return Fail("no name"), false;
      Space();
      if (!Word(":")) return Fail("no colon"), false;
      if (value->members.count(name) != 0) return Fail("a name twice"), false;
      value->order.push_back(name);
      if (!Value(&value->members[name])) return false;
      Space();
    } while (Word(","));
    return Word("}") || (Fail("no } after an object"), false);
  }

  const std::string& text_;
  size_t at_ = 0;
};

std::unique_ptr<Json> Parse(const std::string& text) {
  Parser parser(text);
  auto document = parser.Document();
  EXPECT_NE(document, nullptr) << parser.error << "\n" << text.substr(0, 2000);
  return document;
}

// The rows of a text run: the time stamp's fields and the dots of each.
struct TextRow {
  std::string stamp;  // everything before the dots
  size_t dots;
};

std::vector<TextRow> TextRows(const std::string& out) {
  std::vector<TextRow> rows;
  size_t at = out.find('\n') + 1;  // after the banner
  for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos) break;  // the summary
    rows.push_back({line.substr(0, tab + 1), line.size() - tab - 1});
  }
  return rows;
}

// The figures of the summary's peak line, with -inf as -inf.
std::vector<std::string> PeakFigures(const std::string& out) {
  const size_t at = out.find("interval ");
  std::vector<std::string> figures;
  std::string word;
  for (char c : out.substr(at + 9)) {
    if (c == ' ' || c == '\n') {
      if (!word.empty() && word != "L" && word != "R" && word != "dB") figures.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return figures;
}

std::string Figure(const Json& value) {
  if (value.IsNull()) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value.number);
  return text;
}

TEST(Report, HasTheRowsAndPeaksOfTheTextRun) {
  std::string loud;
  for (int i = 0; i < 3000; ++i) Append16(&loud, (i * 7919 % 65536) - 32768);
  std::string floats;
  for (int i = 0; i < 3000; ++i) {
    const auto x = static_cast<float>(i);
    AppendFloat(&floats, std::sin(x * 0.01f) * static_cast<float>(i % 300) / 100.0f);
  }
  std::string quad;
  for (int i = 0; i < 2000; ++i)
    for (int c = 0; c < 4; ++c)
      quad.push_back(static_cast<char>(c == 1 ? 128 : (i * (c + 3)) % 256));
  struct Case {
    std::string name, file;
    std::vector<std::string> args;  // after the file
  } const cases[] = {
      {"16-bit mono", WavFile({1, 1, 8000, 16}, loud), {"0", "-1"}},
      {"16-bit at resolution 3, magnification 2.5",
       WavFile({1, 1, 8000, 16}, loud),
       {"0.01", "1", "3", "2.5"}},
      {"stamps with the frame index", WavFile({1, 2, 8000, 16}, loud), {"0", "-1", "7"}},
      {"float stereo", WavFile({3, 2, 1000, 32}, floats), {"0", "-1", "13"}},
      {"8-bit in 4 channels, one silent", WavFile({1, 4, 1000, 8}, quad), {"0", "-1", "9"}},
      {"an empty span", WavFile({1, 1, 8000, 16}, loud), {"100", "200"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteTemp("report.wav", c.file);
    std::vector<std::string> args = {path};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun text = RunTool(args);
    args.insert(args.begin(), "--json");
    const ToolRun json = RunTool(args);
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(json.err, "");
    ASSERT_EQ(json.out.back(), '\n');
    const auto document = Parse(json.out);
    ASSERT_NE(document, nullptr);
    const Json& d = *document;
    EXPECT_EQ(d.order, (std::vector<std::string>{"file", "format", "span", "rows", "threshold_db",
                                                 "channels"}));
    const std::vector<TextRow> rows = TextRows(text.out);
    ASSERT_EQ(d["rows"].items.size(), rows.size());
    const double rate = d["format"]["sample_rate"].number;
    const double interval = d["span"]["interval"].number;
    for (size_t r = 0; r < rows.size(); ++r) {
      const Json& row = d["rows"][r];
      EXPECT_EQ(std::floor(row[2].number), static_cast<double>(rows[r].dots)) << "row " << r;
      // The stamp the text run prints for this row's frame.
      char stamp[64];
      if (interval >= 0.025)
        std::snprintf(stamp, sizeof stamp, "%.2f\t", row[1].number);
      else if (interval > 0.001)
        std::snprintf(stamp, sizeof stamp, "%.3f\t", row[1].number);
      else
        std::snprintf(stamp, sizeof stamp, "%.3f\t%.0f\t", row[1].number, row[0].number);
      EXPECT_EQ(stamp, rows[r].stamp) << "row " << r;
      EXPECT_EQ(row[1].number, row[0].number / rate);
    }
    std::vector<std::string> peaks;
    for (const Json& channel : d["channels"].items) peaks.push_back(Figure(channel["peak_db"]));
    EXPECT_EQ(peaks, PeakFigures(text.out));
    char threshold[32];
    std::snprintf(threshold, sizeof threshold, "above %.0f dB", d["threshold_db"].number);
    EXPECT_NE(text.out.find(threshold), std::string::npos);
  }
}

TEST(Report, CountsClippedSamplesAndRmsAgainstSumsWorkedOutHere) {
  struct Channel {
    std::vector<double> values;  // on the level scale, full scale 128
    uint64_t clipped;
  };
  // Stereo 16-bit: a full-scale square wave on the left (both extremes
  // clip), silence but one clipped sample on the right.
  std::string square;
  Channel left{{}, 0}, right{{}, 1};
  for (int i = 0; i < 1000; ++i) {
    const int32_t l = i % 2 == 0 ? 32767 : -32768;
    const int32_t r = i == 500 ? 32767 : 0;
    Append16(&square, l);
    Append16(&square, r);
    left.values.push_back(l / 256.0);
    right.values.push_back(r / 256.0);
    left.clipped += 1;
  }
  // mu-law mono: the two extreme codes 0x00 and 0x80 (+-32124), and codes
  // just inside them, which do not clip.
  std::string ulaw = "\x00\x80\x01\x81"s;
  Channel mu{{-32124 / 256.0, 32124 / 256.0, -31100 / 256.0, 31100 / 256.0}, 2};
  // Float mono: 1.0 and past it clip, just below does not.
  std::string floats;
  Channel f{{}, 3};
  for (float v : {0.5f, 1.0f, -1.5f, 0.99999994f, 3.0f}) {
    AppendFloat(&floats, v);
    f.values.push_back(v * 128.0);
  }
  struct Case {
    const char* name;
    std::string file;
    std::vector<Channel> channels;
  } const cases[] = {
      {"16-bit square wave and silence", WavFile({1, 2, 1000, 16}, square), {left, right}},
      {"mu-law extremes", WavFile({7, 1, 8000, 8}, ulaw), {mu}},
      {"float past 1.0", WavFile({3, 1, 1000, 32}, floats), {f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = RunTool({"--json", WriteTemp("stats.wav", c.file), "0", "-1"});
    ASSERT_EQ(run.status, 0);
    const auto document = Parse(run.out);
    ASSERT_NE(document, nullptr);
    const Json& channels = (*document)["channels"];
    ASSERT_EQ(channels.items.size(), c.channels.size());
    for (size_t k = 0; k < c.channels.size(); ++k) {
      const Channel& expected = c.channels[k];
      double squares = 0;
      for (double v : expected.values) squares += v * v;
      EXPECT_EQ(channels[k]["clipped"].number, static_cast<double>(expected.clipped)) << k;
      if (squares == 0) {
        EXPECT_TRUE(channels[k]["rms_db"].IsNull()) << k;
      } else {
        const double rms = std::sqrt(squares / static_cast<double>(expected.values.size()));
        EXPECT_NEAR(channels[k]["rms_db"].number, 20 * std::log10(rms / 128), 1e-9) << k;
      }
    }
  }
  // Silence has no RMS, and the first frame of its peak is the first frame.
  const ToolRun silent =
      RunTool({"--json", WriteTemp("silent.wav", WavFile(kMono16At1000, Pcm16Run(0, 50))),
               "0.03125", "-1"});
  const auto document = Parse(silent.out);
  ASSERT_NE(document, nullptr);
  EXPECT_TRUE((*document)["channels"][0]["rms_db"].IsNull());
  EXPECT_TRUE((*document)["channels"][0]["peak_db"].IsNull());
  EXPECT_EQ((*document)["channels"][0]["peak_frame"].number, 31);
}

TEST(Report, StaysValidForAnyPathAndTellsTheFirstFrameOfEachPeak) {
  // A control character and a byte that is not UTF-8 in the name, and
  // valid UTF-8 that stays as it is.
  const std::string name = "r\x01\"\xff\xc3\xa9.wav";
  const std::string path = WriteTemp(name, WavFile(kMono16At1000, Pcm16({0, 300, -900, 900, 5})));
  const ToolRun run = RunTool({"--json", path, "0", "-1", "1"});
  ASSERT_EQ(run.status, 0);
  const auto document = Parse(run.out);
  ASSERT_NE(document, nullptr);
  const Json& d = *document;
  // The byte 0xFF comes back as U+DCFF, as Python reads a file name.
  EXPECT_EQ(d["file"].text,
            path.substr(0, path.size() - name.size()) + "r\x01\"\xed\xb3\xbf\xc3\xa9.wav");
  EXPECT_EQ(d["channels"][0]["peak_frame"].number, 2);
  EXPECT_EQ(d["format"]["layout"].text, "s16");
  EXPECT_EQ(d["format"]["container"].text, "RIFF");
  EXPECT_EQ(d["format"]["seconds"].number, 0.005);
  // A stream that does not say its length has none.
  RunSetup setup;
  setup.stdinPath =
      WriteTemp("endless.wav", CanonicalHeader({1, 1, 1000, 16}, 0xFFFFFFFF) + Pcm16Run(256, 10));
  const ToolRun stream = RunTool({"--json", "-", "0", "-1"}, setup);
  const auto streamed = Parse(stream.out);
  ASSERT_NE(streamed, nullptr);
  EXPECT_TRUE((*streamed)["format"]["seconds"].IsNull());
  // A read that fails part way leaves the document unfinished: status 2,
  // the reason on standard error.
  RunSetup failing;
  failing.failReadsAfter = "300000";
  const ToolRun cut = RunTool(
      {"--json", WriteTemp("cut.wav", WavFile(kMono16At1000, Pcm16Run(256, 400000))), "0", "-1"},
      failing);
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.err, kInjectedFault + "Can't read wave file: Input/output error\n");
  EXPECT_EQ(cut.out.compare(0, 9, "{\"file\":\""), 0);
  EXPECT_EQ(Parser(cut.out).Document(), nullptr);
}

TEST(Options, HelpVersionAndUnknownOptionsEndWithTheirStatuses) {
  const std::string path = WriteTemp("options.wav", WavFile(kMono16At1000, Pcm16Run(256, 10)));
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // the start of standard output
    const char* err;  // the start of standard error
  } const cases[] = {
      {{"--help"}, 0, "This program will print a basic waveform image\n", ""},
      {{"-h", path}, 0, "This program will print a basic waveform image\n", ""},
      {{"--version"}, 0, "Ostrel 1.01\n", ""},
      {{"-V"}, 0, "Ostrel 1.01\n", ""},
      {{"--json", "-x", path, "0", "1"}, 1, "", "Unknown option: -x\nThis program will"},
      {{"--json", path, "0"}, 1, "", "This program will print"},
      {{"--json", path, "1", "1"}, 1, "", "Stop or start time not set correctly\n"},
      {{"--json", TempPath("missing.wav"), "0", "1"}, 2, "", "The file called "},
      {{"--json", WriteTemp("nodata.wav", "RIFF\x04\0\0\0WAVE"s), "0", "1"},
       2,
       "",
       "Can't find format chunk in wave file!\n"},
      // After --, a file whose name looks like an option.
      {{"--", "--json", "0", "1"}, 2, "Ostrel 1.01\nThe file called --json cannot be found!\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out.compare(0, std::strlen(c.out), c.out), 0) << run.out;
    EXPECT_EQ(run.err.compare(0, std::strlen(c.err), c.err), 0) << run.err;
    if (*c.err != '\0') {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_EQ(run.err, "");
    }
  }
  // --help ends with the list of options.
  EXPECT_NE(RunTool({"--help"}).out.find("--json"), std::string::npos);
}

}  // namespace
