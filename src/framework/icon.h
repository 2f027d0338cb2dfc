#pragma once
// An icon of the program's resources (resources.h LoadIcon), with its large and small pictures, as
// a window shows it in its title bar and task-bar button. Copies share the pictures. UI thread.

#include <memory>

#include "framework/win_types.h"

namespace fw {

class Icon {
  public:
    struct Pictures;  // the toolkit's icon

    Icon() = default;
    explicit Icon(std::shared_ptr<const Pictures> pictures) : pictures_(std::move(pictures)) {}

    explicit operator bool() const { return pictures_ != nullptr; }
    const Pictures* Get() const { return pictures_.get(); }
    // The icon as a window message returns it (WM_QUERYDRAGICON); 0 for none.
    LRESULT Handle() const;

  private:
    std::shared_ptr<const Pictures> pictures_;
};

}  // namespace fw
