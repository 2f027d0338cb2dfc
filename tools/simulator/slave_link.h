#pragma once
// The optional --link symlink to the pty slave, removed again when the object goes.

#include <string>

namespace qelp::sim {

class SlaveLink {
  public:
    // Replaces an existing symlink at linkPath; refuses any other existing file.
    // Throws std::system_error.
    SlaveLink(std::string linkPath, const std::string& target);
    ~SlaveLink();
    SlaveLink(const SlaveLink&) = delete;
    SlaveLink& operator=(const SlaveLink&) = delete;

  private:
    std::string linkPath_;
    std::string target_;
};

}  // namespace qelp::sim
