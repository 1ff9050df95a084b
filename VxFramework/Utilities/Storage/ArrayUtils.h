#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace Vx
{
// An array of strings.
template <class C, class O>
class StringArrayT : public Array<StringT<C, O>>
{
public:
    StringArrayT() = default;

    // The fields of the text between any of the delimiter characters; every
    // field is produced whatever the maximum count.
    StringArrayT(const StringT<C, O>& text, const char* delimiters, std::int32_t maxCount = -1)
    {
        text.Split(*this, delimiters, maxCount);
    }

    ~StringArrayT() override = default;

    // The index of the last element whose text is stored at that address (the
    // same characters, not equal text); -1 when none is.
    std::int32_t FindByDataPointer(const C* text) const
    {
        for (std::uint32_t i = this->GetCount(); i-- > 0;)
        {
            if ((*this)[i].GetCString() == text)
                return static_cast<std::int32_t>(i);
        }
        return -1;
    }
};

// Sorts the first n elements in place (unstable), ordered by the comparer, a
// strict weak "less than" over two elements.
template <class T, class Comparer>
void SortArray(IArray<T>& array, std::uint32_t n, Comparer comparer)
{
    if (n > array.GetCount())
        VX_THROW(std::out_of_range, "");
    if (n < 2)
        return;
    T* const data = array.GetData();
    std::sort(data, data + n, comparer);
}

// Sets indices to 0 .. n - 1 ordered by the source elements they designate;
// the source is not changed.
template <class T, class Comparer>
void SortArrayIndices(const IArray<T>& source, std::uint32_t n, ArrayBuffer<unsigned int, 1, 0>& indices,
    Comparer comparer)
{
    if (n > source.GetCount())
        VX_THROW(std::out_of_range, "");
    VX_THROW_IF_FAILED(indices.SetCount(n));
    unsigned int* const order = indices.GetData();
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    if (n < 2)
        return;
    const T* const elements = source.GetDataConst();
    std::sort(order, order + n,
        [&](unsigned int left, unsigned int right) { return comparer(elements[left], elements[right]); });
}

// A reference-pointer array has two faces; these sort through the modifiable one.
template <class T, std::uint32_t G, std::uint32_t S, class Comparer>
void SortArray(RCPtrArray<T, G, S>& array, std::uint32_t n, Comparer comparer)
{
    SortArray(static_cast<IArray<RCPtr<T>>&>(array), n, comparer);
}

template <class T, std::uint32_t G, std::uint32_t S, class Comparer>
void SortArrayIndices(const RCPtrArray<T, G, S>& source, std::uint32_t n, ArrayBuffer<unsigned int, 1, 0>& indices,
    Comparer comparer)
{
    SortArrayIndices(static_cast<const IArray<RCPtr<T>>&>(source), n, indices, comparer);
}
} // namespace Vx
