#pragma once
// A routine bound to copies of its arguments, to be run later on another
// thread: the events and questions that workers hand to the GUI thread.
// Built on any thread; Execute runs on the thread that makes the call.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "tools/IWorkHolderExecutor.h"

namespace pullbay::tools {

namespace detail {

template <typename Parameter>
inline constexpr bool kIsTextPointer = std::is_same_v<std::decay_t<Parameter>, wchar_t*> ||
                                       std::is_same_v<std::decay_t<Parameter>, const wchar_t*>;

template <typename Parameter>
inline constexpr bool kIsWriteBack =
    std::is_lvalue_reference_v<Parameter> && !std::is_const_v<std::remove_reference_t<Parameter>>;

// How one parameter is kept until the call. Values and const references are
// copied, so later changes by the caller do not reach the call.
template <typename Parameter, bool bWriteBack = kIsWriteBack<Parameter>,
          bool bText = kIsTextPointer<Parameter>>
struct ArgumentSlot {
    using Stored = std::decay_t<Parameter>;

    template <typename Value>
    static Stored Keep(Value&& value)
    {
        return Stored(std::forward<Value>(value));
    }
    // An lvalue: a by-value parameter gets its own copy, so the holder can
    // run again with the same arguments.
    static Stored& Pass(Stored& stored) { return stored; }
};

// A non-const reference is an answer slot: the routine writes into the
// caller's object, which the caller keeps alive until the call has run (a
// synchronous call). Binding an rvalue here does not compile.
template <typename Parameter, bool bText>
struct ArgumentSlot<Parameter, true, bText> {
    using Target = std::remove_reference_t<Parameter>;
    using Stored = std::reference_wrapper<Target>;

    static Stored Keep(Target& value) { return std::ref(value); }
    static Target& Pass(Stored& stored) { return stored.get(); }
};

// A text pointer is copied as text (null stays null): an asynchronous call
// may run after the caller has freed its buffer.
template <typename Parameter>
struct ArgumentSlot<Parameter, false, true> {
    using Stored = std::optional<std::wstring>;

    static Stored Keep(const wchar_t* strText)
    {
        return strText == nullptr ? Stored() : Stored(std::in_place, strText);
    }
    static std::decay_t<Parameter> Pass(Stored& stored)
    {
        return stored ? stored->data() : nullptr;
    }
};

}  // namespace detail

template <std::size_t N, typename Signature>
class WorkHolderBase;

// N is the argument count, checked against the signature.
template <std::size_t N, typename Result, typename... Parameters>
class WorkHolderBase<N, Result(Parameters...)> final : public IWorkHolderExecutor {
    static_assert(sizeof...(Parameters) == N, "argument count and signature disagree");
    static_assert((!std::is_rvalue_reference_v<Parameters> && ...),
                  "a held call may run more than once: no rvalue reference parameters");
    static_assert(std::is_void_v<Result> || std::is_arithmetic_v<Result> || std::is_enum_v<Result>,
                  "the result must convert to a 32-bit result");

public:
    using Routine = std::function<Result(Parameters...)>;

    template <typename... Values>
    explicit WorkHolderBase(Routine routine, Values&&... values)
        : m_routine(std::move(routine)),
          m_arguments(detail::ArgumentSlot<Parameters>::Keep(std::forward<Values>(values))...)
    {
        static_assert(sizeof...(Values) == N, "one value per parameter");
    }

    long Execute() override
    {
        return std::apply([this](auto&... stored) { return Invoke(stored...); }, m_arguments);
    }

private:
    template <typename... Stored>
    long Invoke(Stored&... stored)
    {
        if constexpr (std::is_void_v<Result>) {
            m_routine(detail::ArgumentSlot<Parameters>::Pass(stored)...);
            return 0;
        } else {
            return static_cast<long>(m_routine(detail::ArgumentSlot<Parameters>::Pass(stored)...));
        }
    }

    Routine m_routine;
    std::tuple<typename detail::ArgumentSlot<Parameters>::Stored...> m_arguments;
};

// MakeWorkHolder<2, long(int, std::wstring)>(routine, 7, strName)
template <std::size_t N, typename Signature, typename Routine, typename... Values>
std::shared_ptr<IWorkHolderExecutor> MakeWorkHolder(Routine&& routine, Values&&... values)
{
    using Holder = WorkHolderBase<N, Signature>;
    return std::make_shared<Holder>(typename Holder::Routine(std::forward<Routine>(routine)),
                                    std::forward<Values>(values)...);
}

}  // namespace pullbay::tools
