#pragma once

// The one way qarvel-pack refuses: a Refusal carries one line for the user,
// and qarvel-pack prints it as "qarvel-pack: SUBJECT: LINE" and exits with 1.
// The subject is "error", or for a fault of a payload's own bytes the file
// that holds it. A fault of qarvel-pack itself is a std::logic_error.

#include <stdexcept>
#include <string>
#include <utility>

namespace qarvel {

class Refusal : public std::runtime_error {
  public:
    explicit Refusal(const std::string& line) : std::runtime_error(line), subject_("error") {}
    Refusal(std::string subject, const std::string& line)
        : std::runtime_error(line), subject_(std::move(subject)) {}
    const std::string& subject() const { return subject_; }

  private:
    std::string subject_;
};

} // namespace qarvel
