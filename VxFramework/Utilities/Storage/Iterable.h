#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Result.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace Vx
{
// Elements of every container lie contiguously; a position is a plain pointer
// to an element (null when there is none).  Iterators ask their container to
// move a position, and the container clamps the move at BeforeFirst and
// EndPtr, so one loop works over any storage.
template <class T>
class IIterable
{
public:
    template <bool Modifiable>
    class IteratorT
    {
    public:
        using Container = std::conditional_t<Modifiable, IIterable, const IIterable>;
        using Reference = std::conditional_t<Modifiable, T&, const T&>;

        IteratorT() noexcept = default;
        IteratorT(Container* container, T* position, std::int32_t step) noexcept
            : mContainer(container), mPosition(position), mStep(step)
        {
        }

        Reference operator*() const { return Element(mPosition); }

        IteratorT& operator++()
        {
            mPosition = mContainer->Advance(mPosition, mStep);
            return *this;
        }

        // Reads the element, then moves on.
        Reference GetNext()
        {
            T* const position = mPosition;
            ++*this;
            return Element(position);
        }

        // Only the positions count: the end of a walk is told by position alone.
        bool operator==(const IteratorT& other) const noexcept { return mPosition == other.mPosition; }

        T* GetPosition() const noexcept { return mPosition; }
        std::int32_t GetStep() const noexcept { return mStep; }

    private:
        Reference Element(T* const& position) const
        {
            if constexpr (Modifiable)
                return mContainer->GetElement(position);
            else
                return mContainer->GetElementConst(position);
        }

        Container* mContainer = nullptr;
        T* mPosition = nullptr;
        std::int32_t mStep = 1;
    };

    using Iterator = IteratorT<true>;
    using ConstIterator = IteratorT<false>;

    virtual std::uint32_t GetCount() const = 0;
    virtual std::uint32_t GetMaxCount() const { return 0x7fffffffu; }

    virtual Iterator Begin() { return Iterator(this, First(), +1); }
    virtual ConstIterator CBegin() const { return ConstIterator(this, First(), +1); }
    virtual Iterator End() { return Iterator(this, EndPtr(), +1); }
    virtual ConstIterator CEnd() const { return ConstIterator(this, EndPtr(), +1); }
    virtual Iterator RBegin() { return Iterator(this, Last(), -1); }
    virtual ConstIterator CRBegin() const { return ConstIterator(this, Last(), -1); }
    virtual Iterator REnd() { return Iterator(this, BeforeFirst(), -1); }
    virtual ConstIterator CREnd() const { return ConstIterator(this, BeforeFirst(), -1); }

    virtual T& GetElement(T* const& position) { return *position; }
    virtual const T& GetElementConst(T* const& position) const
    {
        return const_cast<IIterable*>(this)->GetElement(position);
    }

    // The position moved by the given number of elements, clamped to
    // [BeforeFirst, EndPtr]; null for an empty container.
    virtual T* Advance(T* const& position, std::int32_t steps) const
    {
        T* const low = BeforeFirst();
        T* const high = EndPtr();
        // Address arithmetic in a wide signed type, so that no step count can
        // wrap an address around and land on the wrong side of the clamp.
        const std::int64_t target = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(position))
            + static_cast<std::int64_t>(steps) * static_cast<std::int64_t>(sizeof(T));
        if (target <= static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(low)))
            return low;
        if (target < static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(high)))
            return reinterpret_cast<T*>(static_cast<std::uintptr_t>(target));
        return high;
    }

    virtual T* First() const { return GetCount() == 0 ? nullptr : MutableData(); }
    virtual T* EndPtr() const { return GetCount() == 0 ? nullptr : MutableData() + GetCount(); }
    virtual T* Last() const { return GetCount() == 0 ? nullptr : MutableData() + (GetCount() - 1); }
    virtual T* BeforeFirst() const
    {
        // One element before the storage: a marker only, never dereferenced.
        return GetCount() == 0
            ? nullptr
            : reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(MutableData()) - sizeof(T));
    }

    virtual T* GetData() = 0;
    virtual const T* GetDataConst() const { return MutableData(); }

    Iterator begin() { return Begin(); }
    Iterator end() { return End(); }
    ConstIterator begin() const { return CBegin(); }
    ConstIterator end() const { return CEnd(); }

protected:
    IIterable() = default;
    IIterable(const IIterable&) = default;
    IIterable& operator=(const IIterable&) = default;
    // Containers are destroyed through their own type, never through the interface.
    ~IIterable() = default;

private:
    T* MutableData() const { return const_cast<IIterable*>(this)->GetData(); }
};

// Adds indexed access and the structural changes every container implements.
template <class T>
class IIterableModifiable : public IIterable<T>
{
public:
    virtual const T* GetAtConst(std::uint32_t index) const { return this->GetDataConst() + index; }
    virtual T* GetAt(std::uint32_t index) { return this->GetData() + index; }

    virtual VxRESULT Swap(std::uint32_t i, std::uint32_t j)
    {
        const std::uint32_t count = this->GetCount();
        if (count <= i || count <= j)
            return VXR_E_INVALIDARG;
        T temporary(*GetAt(i));
        *GetAt(i) = *GetAt(j);
        *GetAt(j) = temporary;
        return VXR_OK;
    }

    // Makes the count n: removes from the end or appends new elements.
    virtual VxRESULT SetCount(std::uint32_t n) = 0;
    // Opens n new elements before the index; returns the new count.
    virtual VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) = 0;
    // Removes n elements from the index on; returns the new count.
    virtual VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) = 0;

protected:
    IIterableModifiable() = default;
    IIterableModifiable(const IIterableModifiable&) = default;
    IIterableModifiable& operator=(const IIterableModifiable&) = default;
    ~IIterableModifiable() = default;
};

// The one container interface of the framework.
template <class T>
class IArray : public IIterableModifiable<T>
{
public:
    using typename IIterable<T>::Iterator;
    using typename IIterable<T>::ConstIterator;

    virtual VxRESULT RemoveAll() { return this->SetCount(0) == 0 ? VXR_OK : VXR_E_FAIL; }

    // Returns the new count (some implementations: the index of the new element).
    virtual VxRESULT Insert(std::uint32_t index, const T& item)
    {
        // The item may be an element of this array, which opening the space
        // can move: copy it first.
        T copy(item);
        const VxRESULT result = this->InsertSpace(index, 1);
        if (Succeeded(result))
            *this->GetAt(index) = std::move(copy);
        return result;
    }

    // Hands the element to out and removes it; returns the new count.
    virtual VxRESULT RemoveAt(std::uint32_t index, T& out)
    {
        if (index >= this->GetCount())
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
        out = *this->GetAt(index);
        return this->RemoveSpace(index, 1);
    }

    virtual VxRESULT AppendAll(const IIterable<T>& source)
    {
        std::uint32_t start = 0;
        std::uint32_t added = 0;
        const VxRESULT prepared = PrepareAppend(source, start, added);
        if (prepared < 0 || added == 0)
            return prepared;
        ConstIterator from = source.CBegin();
        Iterator to = this->Begin();
        to = Iterator(this, this->Advance(to.GetPosition(), to.GetStep() * static_cast<std::int32_t>(start)), +1);
        for (std::uint32_t i = 0; i < added; ++i)
            to.GetNext() = from.GetNext();
        return static_cast<VxRESULT>(start + added);
    }

    virtual VxRESULT Add(const T& item) { return Insert(this->GetCount(), item); }

    virtual VxRESULT RemoveLast(T& out) { return RemoveAt(this->GetCount() - 1, out); }

    virtual VxRESULT CopyFrom(const IIterable<T>& source)
    {
        // Emptying first would lose the source when it is this array.
        if (&source == static_cast<const IIterable<T>*>(this))
            return static_cast<VxRESULT>(this->GetCount());
        this->SetCount(0);
        return AppendAll(source);
    }

    // As AppendAll, writing straight into the storage.
    virtual VxRESULT AppendAllDirect(const IIterable<T>& source)
    {
        std::uint32_t start = 0;
        std::uint32_t added = 0;
        const VxRESULT prepared = PrepareAppend(source, start, added);
        if (prepared < 0 || added == 0)
            return prepared;
        ConstIterator from = source.CBegin();
        T* to = this->GetData() + start;
        for (std::uint32_t i = 0; i < added; ++i, ++to)
            *to = from.GetNext();
        return static_cast<VxRESULT>(start + added);
    }

    bool IsEmpty() const { return this->GetCount() == 0; }
    T& operator[](std::uint32_t index) { return this->GetData()[index]; }
    const T& operator[](std::uint32_t index) const { return this->GetDataConst()[index]; }

    std::uint32_t Append(const T& item)
    {
        Insert(this->GetCount(), item);
        return this->GetCount();
    }

protected:
    IArray() = default;
    IArray(const IArray&) = default;
    IArray& operator=(const IArray&) = default;
    ~IArray() = default;

private:
    // Raises the count by the source's count; the new elements are then written.
    VxRESULT PrepareAppend(const IIterable<T>& source, std::uint32_t& start, std::uint32_t& added)
    {
        start = this->GetCount();
        added = source.GetCount();
        if (added == 0)
            return static_cast<VxRESULT>(start);
        const std::uint64_t total = static_cast<std::uint64_t>(start) + added;
        if (total > this->GetMaxCount()
            || this->SetCount(static_cast<std::uint32_t>(total)) != static_cast<VxRESULT>(total))
        {
            VX_ASSERT_FALSE();
            added = 0;
            return VXR_E_FAIL;
        }
        return static_cast<VxRESULT>(total);
    }
};
} // namespace Vx
