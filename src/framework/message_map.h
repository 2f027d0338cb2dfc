#pragma once
// Message tables: each window class lists the messages and commands it handles, and the handler
// method for each. A class's table chains to its base class's table.
//
//   const fw::MessageMap* CMyDlg::GetMessageMap() const {
//       static constexpr fw::MessageMapEntry entries[] = {
//           fw::OnMessage<&CMyDlg::OnSysCommand>(fw::WM_SYSCOMMAND),
//           fw::OnCommand<&CMyDlg::OnPortCom1>(IDC_PORT_COM1, fw::BN_CLICKED),
//       };
//       static const fw::MessageMap map{fw::Dialog::GetBaseMessageMap(), entries};
//       return &map;
//   }
//
// Handlers take (WPARAM, LPARAM) or (UINT, LPARAM) or nothing, and return LRESULT or void.

#include <span>
#include <type_traits>

#include "framework/win_types.h"

namespace fw {

class CommandTarget;

struct MessageMapEntry {
    UINT message;  // WM_COMMAND for a command entry
    UINT id;       // command entries: the control or command id
    UINT code;     // command entries: the notification code
    LRESULT (*invoke)(CommandTarget& self, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* base;
    std::span<const MessageMapEntry> entries;

    // The entry for a message (not WM_COMMAND), or nullptr.
    const MessageMapEntry* FindMessage(UINT message) const;
    // The entry for a command id and notification, or nullptr.
    const MessageMapEntry* FindCommand(UINT id, UINT code) const;
};

// Anything with a message table: windows and the application object.
class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    virtual const MessageMap* GetMessageMap() const { return RootMessageMap(); }
    // The empty table at the root of every chain.
    static const MessageMap* RootMessageMap();
    // Runs the handler of a command; false when the table has none.
    bool OnCmdMsg(UINT id, UINT code);
};

namespace detail {

template <class>
struct MemberOf;
template <class C, class R, class... Args>
struct MemberOf<R (C::*)(Args...)> {
    using type = C;
};

template <auto Method>
LRESULT Invoke(CommandTarget& target, WPARAM wParam, LPARAM lParam) {
    using C = typename MemberOf<decltype(Method)>::type;
    auto& self = static_cast<C&>(target);
    if constexpr (std::is_invocable_v<decltype(Method), C&, WPARAM, LPARAM>) {
        using R = std::invoke_result_t<decltype(Method), C&, WPARAM, LPARAM>;
        if constexpr (std::is_void_v<R>) {
            (self.*Method)(wParam, lParam);
            return 0;
        } else {
            return static_cast<LRESULT>((self.*Method)(wParam, lParam));
        }
    } else if constexpr (std::is_invocable_v<decltype(Method), C&, UINT, LPARAM>) {
        (self.*Method)(static_cast<UINT>(wParam), lParam);
        return 0;
    } else {
        using R = std::invoke_result_t<decltype(Method), C&>;
        if constexpr (std::is_void_v<R>) {
            (self.*Method)();
            return 0;
        } else {
            return static_cast<LRESULT>((self.*Method)());
        }
    }
}

}  // namespace detail

template <auto Method>
constexpr MessageMapEntry OnMessage(UINT message) {
    return {message, 0, 0, &detail::Invoke<Method>};
}

template <auto Method>
constexpr MessageMapEntry OnCommand(UINT id, UINT code = BN_CLICKED) {
    return {WM_COMMAND, id, code, &detail::Invoke<Method>};
}

}  // namespace fw
