#include "PackerPlatform.h"

#include <errno.h>
#include <string.h>

#include <random>

#include "PackError.h"
#include "TextEncoding.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <csignal>

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) { return strerror(error); }

[[noreturn]] void failWith(const std::string& what, const fs::path& path, int error) {
  throw PackError(what + " " + displayPath(path) + ": " + systemReason(error));
}

#if defined(_WIN32)
std::u16string unitsOf(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring wideOf(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
#endif

}  // namespace

#if defined(_WIN32)

std::string displayPath(const fs::path& path) { return printableUtf8(unitsOf(path.native())); }

std::optional<std::u16string> entryNameUnits(const fs::path& name) {
  const std::u16string units = unitsOf(name.native());
  if (!utf8FromUtf16(units)) return std::nullopt;
  return units;
}

std::optional<fs::path> pathOfComponents(const fs::path& directory, const std::vector<std::u16string>& components) {
  fs::path path = directory;
  for (const std::u16string& component : components) path /= wideOf(component);
  return path;
}

std::optional<std::string> argumentUtf8(const fs::path& argument) { return utf8FromUtf16(unitsOf(argument.native())); }

std::optional<fs::path> currentExecutablePath() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  buffer.resize(length);
  return fs::path(buffer);
}

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void prepareConsoleOutput() { SetConsoleOutputCP(CP_UTF8); }

namespace {

FILE* openFile(const fs::path& path, const wchar_t* mode) { return _wfopen(path.c_str(), mode); }

// Creates the file only if it does not exist yet. Shared for deletion, so that the interrupt
// handler can remove it while it is still open (it goes when the process ends).
// The file is open for deletion from the start (below), so no signal can leave it behind.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld() = default;
  ~CleanupSignalsHeld() {}  // NOLINT(modernize-use-equals-default): a user-provided destructor marks the object as used
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;
};

FILE* createNewFile(const fs::path& path) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : error == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}

bool renameOver(const fs::path& from, const fs::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

void* mapWholeFile(const fs::path& path, size_t& size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) failWith("cannot read", path, GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT);
  LARGE_INTEGER length;
  void* address = nullptr;
  HANDLE mapping = nullptr;
  const bool sized = GetFileSizeEx(file, &length) != 0;
  size = sized ? static_cast<size_t>(length.QuadPart) : 0;
  if (sized && size != 0) mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping != nullptr) address = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (mapping != nullptr) CloseHandle(mapping);  // the view keeps it
  CloseHandle(file);
  if (!sized || (size != 0 && address == nullptr)) failWith("cannot read", path, EIO);
  return address;
}

void unmapFile(void* address, size_t) {
  if (address != nullptr) UnmapViewOfFile(address);
}

bool seekFile(FILE* file, uint64_t offset) { return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0; }

// "D": deleted when closed, also when the process is ended.
FILE* openSpill(const fs::path& path) {
  const int descriptor = _wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY,
                                _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  FILE* file = _fdopen(descriptor, "w+b");
  if (file == nullptr) _close(descriptor);
  return file;
}

// The path the interrupt handler removes; the CRT runs the handler on a thread of its own. The file
// is open for deletion (createNewFile), so Windows removes it once the process has ended.
wchar_t interrupt_path[32768];
volatile std::sig_atomic_t interrupt_path_set = 0;

void rememberForInterrupt(const fs::path& path) {
  const std::wstring& text = path.native();
  if (text.size() >= sizeof interrupt_path / sizeof interrupt_path[0]) return;
  interrupt_path_set = 0;
  std::copy(text.begin(), text.end(), interrupt_path);
  interrupt_path[text.size()] = L'\0';
  interrupt_path_set = 1;
}

void removeInterruptPath() {
  if (interrupt_path_set) _wunlink(interrupt_path);
}

}  // namespace

#define ONEFILE_MODE(text) L##text

#else

std::string displayPath(const fs::path& path) { return printableUtf8(path.native()); }

std::optional<std::u16string> entryNameUnits(const fs::path& name) { return utf16FromUtf8(name.native()); }

std::optional<fs::path> pathOfComponents(const fs::path& directory, const std::vector<std::u16string>& components) {
  fs::path path = directory;
  for (const std::u16string& component : components) {
    const std::optional<std::string> bytes = utf8FromUtf16(component);
    if (!bytes) return std::nullopt;
    path /= *bytes;
  }
  return path;
}

std::optional<std::string> argumentUtf8(const fs::path& argument) {
  if (!utf16FromUtf8(argument.native())) return std::nullopt;
  return argument.native();
}

std::optional<fs::path> currentExecutablePath() {
  std::error_code error;
  const fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  return path;
}

bool standardErrorIsTerminal() { return isatty(fileno(stderr)) != 0; }

void prepareConsoleOutput() {}

namespace {

FILE* openFile(const fs::path& path, const char* mode) { return fopen(path.c_str(), mode); }

// Holds back the signals whose handler removes the partial output while it is created and named
// to the handler: one that came between the two would end the tool and leave the file. The tool
// has no other thread yet then, so the calling thread's mask is the process's.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal_number);
    pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~CleanupSignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

FILE* createNewFile(const fs::path& path) {
  // Executable like a linker's output, within the user's umask.
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
  if (descriptor < 0) return nullptr;
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) ::close(descriptor);
  return file;
}

bool renameOver(const fs::path& from, const fs::path& to) { return rename(from.c_str(), to.c_str()) == 0; }

void* mapWholeFile(const fs::path& path, size_t& size) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) failWith("cannot read", path, errno);
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    const int error = errno;
    ::close(descriptor);
    failWith("cannot read", path, error);
  }
  size = static_cast<size_t>(status.st_size);
  void* address = nullptr;
  if (size != 0) {
    address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (address == MAP_FAILED) {
      const int error = errno;
      ::close(descriptor);
      failWith("cannot read", path, error);
    }
    madvise(address, size, MADV_SEQUENTIAL);
  }
  ::close(descriptor);
  return address;
}

void unmapFile(void* address, size_t size) {
  if (address != nullptr) munmap(address, size);
}

bool seekFile(FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

// Unlinked at once: the data lives while the descriptor does, and no end of the process leaves it.
FILE* openSpill(const fs::path& path) {
  const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (descriptor < 0) return nullptr;
  unlink(path.c_str());
  FILE* file = fdopen(descriptor, "w+b");
  if (file == nullptr) ::close(descriptor);
  return file;
}

char interrupt_path[4096];
volatile std::sig_atomic_t interrupt_path_set = 0;

void rememberForInterrupt(const fs::path& path) {
  const std::string& text = path.native();
  if (text.size() >= sizeof interrupt_path) return;
  interrupt_path_set = 0;
  std::copy(text.begin(), text.end(), interrupt_path);
  interrupt_path[text.size()] = '\0';
  interrupt_path_set = 1;
}

void removeInterruptPath() {
  if (interrupt_path_set) unlink(interrupt_path);
}

}  // namespace

#define ONEFILE_MODE(text) text

#endif

InputFile::InputFile(const fs::path& path) : path_(path), file_(openFile(path, ONEFILE_MODE("rb"))) {
  if (file_ == nullptr) failWith("cannot read", path, errno);
}

InputFile::~InputFile() { fclose(file_); }

size_t InputFile::read(void* buffer, size_t capacity) {
  const size_t count = fread(buffer, 1, capacity, file_);
  if (count < capacity && ferror(file_)) failWith("cannot read", path_, errno);
  return count;
}

void InputFile::rewind() {
  if (fseek(file_, 0, SEEK_SET) != 0) failWith("cannot read", path_, errno);
}

OutputFile::OutputFile(const fs::path& path) : path_(path), file_(openFile(path, ONEFILE_MODE("wb"))) {
  if (file_ == nullptr) failWith("cannot write", path, errno);
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) fclose(file_);
}

void OutputFile::write(const void* data, size_t length) {
  if (length != 0 && fwrite(data, 1, length, file_) != length) failWith("cannot write", path_, errno);
}

void OutputFile::close() {
  FILE* file = file_;
  file_ = nullptr;
  if (fclose(file) != 0) failWith("cannot write", path_, errno);
}

std::vector<uint8_t> readWholeFile(const fs::path& path) {
  InputFile file(path);
  std::vector<uint8_t> bytes;
  uint8_t chunk[1 << 16];
  for (size_t count; (count = file.read(chunk, sizeof chunk)) != 0;) bytes.insert(bytes.end(), chunk, chunk + count);
  return bytes;
}

namespace {

void onInterrupt(int signal_number) {
  removeInterruptPath();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

SpillFile::SpillFile(const fs::path& directory) : directory_(directory), file_(nullptr) {
  std::random_device random;
  for (int attempt = 0; file_ == nullptr; ++attempt) {
    const fs::path path = directory / fs::path(ONEFILE_MODE(".onefile-spill-") + fs::path(std::to_string(random() % 1000000)).native());
    errno = 0;
    file_ = openSpill(path);
    if (file_ == nullptr && (errno != EEXIST || attempt == 100)) failWith("cannot create a scratch file in", directory, errno);
  }
}

SpillFile::~SpillFile() { fclose(file_); }

void SpillFile::write(const void* data, size_t length) {
  if (length != 0 && fwrite(data, 1, length, file_) != length) failWith("cannot write a scratch file in", directory_, errno);
  length_ += length;
}

void SpillFile::rewind() {
  if (fflush(file_) != 0 || !seekFile(file_, 0)) failWith("cannot write a scratch file in", directory_, errno);
}

size_t SpillFile::read(void* buffer, size_t capacity) {
  const size_t count = fread(buffer, 1, capacity, file_);
  if (count < capacity && ferror(file_)) failWith("cannot read a scratch file in", directory_, errno);
  return count;
}

PartialOutput::PartialOutput(const fs::path& target) : target_(target), file_(nullptr) {
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device random;
  // cppcheck-suppress unusedVariable ; it holds the signals back while it lives
  const CleanupSignalsHeld held;
  for (int attempt = 0; file_ == nullptr; ++attempt) {
    temporary_ = directory / (target.filename().native() + ONEFILE_MODE(".partial-") +
                              fs::path(std::to_string(random() % 1000000)).native());
    errno = 0;
    file_ = createNewFile(temporary_);
    if (file_ == nullptr && (errno != EEXIST || attempt == 100)) failWith("cannot create", temporary_, errno);
  }
  rememberForInterrupt(temporary_);
}

PartialOutput::~PartialOutput() {
  if (committed_) return;
  if (file_ != nullptr) fclose(file_);
  std::error_code ignored;
  fs::remove(temporary_, ignored);
  interrupt_path_set = 0;
}

void PartialOutput::write(const void* data, size_t length) {
  if (length != 0 && fwrite(data, 1, length, file_) != length) failWith("cannot write", target_, errno);
}

void PartialOutput::rewriteStart(const void* data, size_t length) {
  if (fflush(file_) != 0 || !seekFile(file_, 0)) failWith("cannot write", target_, errno);
  write(data, length);
}

void PartialOutput::makeExecutable() {
#if !defined(_WIN32)
  if (fchmod(fileno(file_), 0755) != 0) failWith("cannot write", target_, errno);
#endif
}

void PartialOutput::commit() {
  FILE* file = file_;
  file_ = nullptr;
  if (fclose(file) != 0) failWith("cannot write", target_, errno);
  if (!renameOver(temporary_, target_)) failWith("cannot write", target_, errno);
  interrupt_path_set = 0;
  committed_ = true;
}

#if defined(_WIN32)

bool ownerMayExecute(const fs::file_status&) { return false; }

void setExecutable(const fs::path&, bool) {}

#else

bool ownerMayExecute(const fs::file_status& status) {
  return (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
}

void setExecutable(const fs::path& path, bool executable) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) failWith("cannot read", path, errno);
  const mode_t readable = status.st_mode & 0444;
  const mode_t mode = (status.st_mode & 07666) | (executable ? readable >> 2 : 0);
  if (mode != (status.st_mode & 07777) && chmod(path.c_str(), mode) != 0) failWith("cannot write", path, errno);
}

#endif

void installInterruptCleanup() {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
#if !defined(_WIN32)
  std::signal(SIGHUP, onInterrupt);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

MappedFile::MappedFile(const fs::path& path) { address_ = mapWholeFile(path, size_); }

MappedFile::~MappedFile() { unmapFile(address_, size_); }
