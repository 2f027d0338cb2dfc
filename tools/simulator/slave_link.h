#pragma once
// A --link symlink to the pty slave: made (or made again, at a new terminal) under a temporary
// name in the same folder and renamed over PATH, so that whoever opens PATH finds either no link
// or a whole one; removed again when the adapter is pulled and when the object goes.
// Used by one thread, its port's.

#include <string>

namespace qelp::sim {

class SlaveLink {
  public:
    // Refuses (throws std::system_error) when PATH holds anything but a symlink; makes nothing yet.
    explicit SlaveLink(std::string linkPath);
    ~SlaveLink() { remove(); }
    SlaveLink(const SlaveLink&) = delete;
    SlaveLink& operator=(const SlaveLink&) = delete;

    const std::string& path() const { return linkPath_; }
    // Points PATH at `target`, replacing a symlink there. Throws std::system_error.
    void pointAt(const std::string& target);
    // Removes PATH if it still is our link: another simulator may have taken the name over.
    void remove();

  private:
    std::string linkPath_;
    std::string target_;  // empty while we have no link at PATH
};

}  // namespace qelp::sim
