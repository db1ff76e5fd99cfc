#include "AppFileReader.h"

#include "PackError.h"

namespace fs = std::filesystem;

AppFileReader::AppFileReader(const AppFile& file) : file_(file), before_(stamp()), input_(file.path) {
  if (before_.size != file.size) failChanged();
}

AppFileReader::Stamp AppFileReader::stamp() const {
  std::error_code error;
  Stamp stamp{fs::file_size(file_.path, error), {}};
  if (!error) stamp.time = fs::last_write_time(file_.path, error);
  if (error) throw PackError("cannot read '" + displayPath(file_.path) + "': " + error.message());
  return stamp;
}

size_t AppFileReader::read(void* buffer, size_t capacity) {
  const size_t count = input_.read(buffer, capacity);
  if (count > file_.size - read_) failChanged();
  read_ += count;
  return count;
}

void AppFileReader::rewind() {
  input_.rewind();
  read_ = 0;
}

void AppFileReader::finish() {
  if (read_ != file_.size || !(stamp() == before_)) failChanged();
}

void AppFileReader::failChanged() const {
  throw PackError("'" + displayPath(file_.path) +
                  "' changed while it was being packed; pack again when it is no longer written to");
}
