// The packer's one kind of failure: a message for the user, already phrased, that ends the
// command with a non-zero exit code. Thrown wherever the fault is found; main prints it.
#pragma once

#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};
