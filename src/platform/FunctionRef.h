// A function passed down a call and not kept: a pointer to it and one to its call, no copy and no
// allocation, where std::function would add a manager for each lambda's type. As C++26's
// std::function_ref: the function must outlive the reference (a parameter's lambda does).
#pragma once
#include <memory>
#include <type_traits>
#include <utility>

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& function) noexcept   // implicit, as std::function's
        : function_(const_cast<void*>(static_cast<const void*>(std::addressof(function)))),
          call_([](void* f, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(f))(std::forward<Args>(args)...);
          })
    {
    }

    R operator()(Args... args) const { return call_(function_, std::forward<Args>(args)...); }

private:
    void* function_;
    R (*call_)(void*, Args...);
};
