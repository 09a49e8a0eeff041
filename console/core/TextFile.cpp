#include "console/core/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace kestrune {

namespace {

// ------------------------------------------------------------ characters

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

// Windows-1252 for the bytes 0x80 to 0x9F. The five bytes the code page
// leaves undefined map to the C1 controls of the same value, as Windows
// itself maps them, so they come back as the same bytes.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// Reads one code point of strict UTF-8 at i (no overlong forms, no
// surrogates, nothing above U+10FFFF) and moves i past it.
std::optional<char32_t> NextCodePoint(std::string_view s, size_t& i) {
  const uint8_t lead = Byte(s[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - i < length) return std::nullopt;
  for (size_t k = 1; k < length; ++k) {
    const uint8_t next = Byte(s[i + k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  i += length;
  return cp;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();)
    if (!NextCodePoint(s, i)) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code points of text; a byte that is not part of valid UTF-8 gives
// U+FFFD.
std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (const auto cp = NextCodePoint(text, i)) {
      out += *cp;
    } else {
      out += kReplacementCharacter;
      ++i;
    }
  }
  return out;
}

std::string FromWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const uint8_t b = Byte(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
  }
  return out;
}

std::optional<std::string> ToWindows1252(const std::u32string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t cp : text) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    const auto* found = std::find(kWindows1252High.begin(), kWindows1252High.end(), cp);
    if (found == kWindows1252High.end()) return std::nullopt;
    out += static_cast<char>(0x80 + (found - kWindows1252High.begin()));
  }
  return out;
}

// UTF-16 after its mark; nothing for an odd length or an unpaired surrogate.
std::optional<std::string> FromUtf16(std::string_view bytes, bool littleEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  const auto unitAt = [&](size_t i) -> char32_t {
    const uint8_t first = Byte(bytes[i]);
    const uint8_t second = Byte(bytes[i + 1]);
    return littleEndian ? (second << 8 | first) : (first << 8 | second);
  };
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const char32_t unit = unitAt(i);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return std::nullopt;
    if (unit < 0xD800 || unit > 0xDBFF) {
      AppendUtf8(out, unit);
      continue;
    }
    if (i + 2 >= bytes.size()) return std::nullopt;
    const char32_t low = unitAt(i + 2);
    if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
    AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    i += 2;
  }
  return out;
}

std::string ToUtf16(const std::u32string& text, bool littleEndian) {
  std::string out(littleEndian ? kUtf16LEMark : kUtf16BEMark);
  out.reserve(2 + text.size() * 2);
  const auto append = [&](char32_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += littleEndian ? low : high;
    out += littleEndian ? high : low;
  };
  for (const char32_t cp : text) {
    if (cp < 0x10000) {
      append(cp);
    } else {
      append(0xD800 + ((cp - 0x10000) >> 10));
      append(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::optional<std::string> EncodeAs(const std::string& text, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return text;
    case TextEncoding::Utf8Bom: return std::string(kUtf8Mark) + text;
    case TextEncoding::Utf16LE: return ToUtf16(CodePoints(text), true);
    case TextEncoding::Utf16BE: return ToUtf16(CodePoints(text), false);
    case TextEncoding::Windows1252: return ToWindows1252(CodePoints(text));
  }
  return std::nullopt;
}

// ------------------------------------------------------------ files

[[noreturn]] void ThrowWriteError(const std::string& path, int error) {
  throw EFileError("Unable to write to " + path, error);
}

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// The file a path names once symbolic links are followed, also when the last
// link points to a file that is not there yet.
std::string FollowLinks(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the system's own limit
  std::string current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0) ThrowWriteError(path, errno);
    target.resize(static_cast<size_t>(n));
    current = target.starts_with('/') ? target : FolderOf(current) + "/" + target;
  }
  ThrowWriteError(path, ELOOP);
}

// Whether we may write where st describes. Root may write anything, but a
// file or folder without a single write permission bit was made read-only
// on purpose, and that choice is honoured.
bool MayWrite(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  return access(path.c_str(), W_OK) == 0;
}

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0 || errno == EINVAL;  // a file system without it
  close(fd);
  return ok;
}

// The temporary file: written, given the old file's mode and owner, flushed.
bool FillTemporary(int fd, const std::string& bytes, const struct stat* old) {
  if (!WriteAll(fd, bytes)) return false;
  if (fchmod(fd, old ? old->st_mode & 07777 : 0644) != 0) return false;
  // Only root may give a file away; for anyone else the owner is already us.
  if (old && (old->st_uid != geteuid() || old->st_gid != getegid()))
    (void)!fchown(fd, old->st_uid, old->st_gid);
  return fsync(fd) == 0;
}

// Where a write of path goes, found and checked before anything is written.
struct WriteTarget {
  std::string file;  // path with its links followed
  std::string folder;
  bool exists = false;
  struct stat old {};
};

WriteTarget CheckedTarget(const std::string& path) {
  WriteTarget target;
  target.file = FollowLinks(path);
  target.exists = stat(target.file.c_str(), &target.old) == 0;
  if (!target.exists && errno != ENOENT) ThrowWriteError(path, errno);
  if (target.exists && !S_ISREG(target.old.st_mode)) ThrowWriteError(path, EISDIR);
  if (target.exists && !MayWrite(target.file, target.old)) ThrowWriteError(path, EACCES);

  target.folder = FolderOf(target.file);
  struct stat folderStat {};
  if (stat(target.folder.c_str(), &folderStat) != 0) ThrowWriteError(path, errno);
  if (!MayWrite(target.folder, folderStat)) ThrowWriteError(path, EACCES);
  return target;
}

// The reason a check refused path, for the operator.
std::string CheckReason(const std::string& path, int error) {
  struct stat st {};
  if (error == EISDIR && stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
  if (error == EACCES) return "no write permission";
  return std::generic_category().message(error);
}

}  // namespace

// ------------------------------------------------------------ text

std::vector<TTextLine> SplitLines(std::string_view text) {
  std::vector<TTextLine> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t endLength = 0;
    if (text[i] == '\n') {
      endLength = 1;
    } else if (text[i] == '\r') {
      size_t j = i;
      while (j < text.size() && text[j] == '\r') ++j;
      endLength = (j < text.size() && text[j] == '\n') ? j + 1 - i : 1;
    }
    if (endLength == 0) {
      ++i;
      continue;
    }
    lines.push_back({text.substr(start, i - start), text.substr(i, endLength)});
    i += endLength;
    start = i;
  }
  if (start < text.size()) lines.push_back({text.substr(start), {}});
  return lines;
}

std::string DecodeText(const std::string& bytes, TextEncoding& encoding) {
  const std::string_view view = bytes;
  if (view.starts_with(kUtf16LEMark) || view.starts_with(kUtf16BEMark)) {
    const bool little = view.starts_with(kUtf16LEMark);
    if (auto text = FromUtf16(view.substr(2), little)) {
      encoding = little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
      return std::move(*text);
    }
  }
  if (view.starts_with(kUtf8Mark) && IsValidUtf8(view.substr(kUtf8Mark.size()))) {
    encoding = TextEncoding::Utf8Bom;
    return bytes.substr(kUtf8Mark.size());
  }
  if (IsValidUtf8(view)) {
    encoding = TextEncoding::Utf8;
    return bytes;
  }
  encoding = TextEncoding::Windows1252;
  return FromWindows1252(view);
}

std::string EncodeText(const std::string& text, TextEncoding& encoding) {
  const std::string valid = IsValidUtf8(text) ? text : [&] {
    std::string out;
    for (const char32_t cp : CodePoints(text)) AppendUtf8(out, cp);
    return out;
  }();
  // What is written must read back as the same text: Windows-1252 bytes can
  // look like UTF-8 or begin like a byte-order mark, and a text that begins
  // with U+FEFF would lose it to the mark.
  for (const TextEncoding candidate : {encoding, TextEncoding::Utf8, TextEncoding::Utf8Bom}) {
    const std::optional<std::string> bytes = EncodeAs(valid, candidate);
    TextEncoding readAs{};
    if (bytes && DecodeText(*bytes, readAs) == valid) {
      encoding = candidate;
      return *bytes;
    }
  }
  encoding = TextEncoding::Utf8Bom;  // not reached: the mark keeps any text
  return std::string(kUtf8Mark) + valid;
}

std::string CommonLineEnd(const std::vector<TTextLine>& lines) {
  std::vector<std::pair<std::string_view, size_t>> counts;
  for (const TTextLine& line : lines) {
    if (line.End.empty()) continue;
    auto known = std::find_if(counts.begin(), counts.end(),
                              [&](const auto& count) { return count.first == line.End; });
    if (known == counts.end()) known = counts.insert(counts.end(), {line.End, 0});
    ++known->second;
  }
  const auto most =
      std::max_element(counts.begin(), counts.end(),
                       [](const auto& a, const auto& b) { return a.second < b.second; });
  return most == counts.end() ? "\r\n" : std::string(most->first);
}

TTextFile DecodeTextFile(const std::string& bytes) {
  TTextFile file;
  const std::string text = DecodeText(bytes, file.Encoding);
  const std::vector<TTextLine> lines = SplitLines(text);
  file.Text.reserve(text.size());
  for (const TTextLine& line : lines) {
    file.Text += line.Text;
    if (!line.End.empty()) file.Text += '\n';
  }
  file.LineEnd = CommonLineEnd(lines);
  return file;
}

std::string EncodeTextFile(const TTextFile& file) {
  std::string text;
  text.reserve(file.Text.size() + file.Text.size() / 8);
  for (const char c : file.Text) {
    if (c == '\n')
      text += file.LineEnd;
    else
      text += c;
  }
  TextEncoding encoding = file.Encoding;
  return EncodeText(text, encoding);
}

// ------------------------------------------------------------ files

EFileError::EFileError(const std::string& message, int error)
    : std::runtime_error(message), error_(error) {}

std::string ReadWholeFile(const std::string& path) {
  const auto fail = [&](int error) -> EFileError {
    return EFileError("Unable to read " + path + ": " + std::generic_category().message(error),
                      error);
  };
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fail(errno);
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      throw fail(error);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const WriteTarget target = CheckedTarget(path);
  std::string temporary = target.file + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) ThrowWriteError(path, errno);
  bool ok = FillTemporary(fd, bytes, target.exists ? &target.old : nullptr);
  int error = ok ? 0 : errno;
  if (close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && rename(temporary.c_str(), target.file.c_str()) != 0) ok = false, error = errno;
  if (!ok) {
    unlink(temporary.c_str());
    ThrowWriteError(path, error);
  }
  if (!SyncFolder(target.folder)) ThrowWriteError(path, errno);
}

void CheckWritableFile(const std::string& path) {
  try {
    const WriteTarget target = CheckedTarget(path);
    // The system has the last word (a full disk, a read-only mount, quotas):
    // the temporary file that the write will need is made once now.
    std::string temporary = target.file + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) ThrowWriteError(path, errno);
    close(fd);
    unlink(temporary.c_str());
  } catch (const EFileError& e) {
    throw EFileError("Cannot save to " + path + ": " + CheckReason(path, e.Error()), e.Error());
  }
}

TTextFile ReadTextFile(const std::string& path) { return DecodeTextFile(ReadWholeFile(path)); }

void WriteTextFile(const std::string& path, const TTextFile& file) {
  WriteWholeFile(path, EncodeTextFile(file));
}

}  // namespace kestrune
