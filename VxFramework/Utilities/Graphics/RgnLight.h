#pragma once

#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/Iterable.h"

#include <cstdint>

namespace Vx
{
// An integer region: rectangles in a singly linked list whose nodes come from
// one process-wide pool.  UnionRect keeps the rectangles free of overlap;
// AddRect and Append add without any check.  A region is used by one thread at
// a time; the pool is shared and locked.
class RgnLight
{
public:
    struct Rect
    {
        std::int32_t left;
        std::int32_t top;
        std::int32_t right;  // exclusive
        std::int32_t bottom; // exclusive

        static Rect FromRectT(const RectT<std::int32_t>& rect) noexcept
        {
            return Rect{rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
        }
        RectT<std::int32_t> ToRectT() const noexcept { return RectT<std::int32_t>{left, top, right - left, bottom - top}; }
        bool IsEmpty() const noexcept { return left >= right || top >= bottom; }
        bool operator==(const Rect& other) const noexcept
        {
            return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
        }
        bool operator!=(const Rect& other) const noexcept { return !(*this == other); }
    };

    struct Node : Rect
    {
        Node* next;
    };

    RgnLight() noexcept = default;
    ~RgnLight() { Clear(); }
    // A copy is made with Append.
    RgnLight(const RgnLight&) = delete;
    RgnLight& operator=(const RgnLight&) = delete;
    RgnLight(RgnLight&& other) noexcept : mHead(other.mHead) { other.mHead = nullptr; }
    RgnLight& operator=(RgnLight&& other) noexcept;

    // Pushes a copy of the rectangle at the head: no merging, no emptiness check.
    void AddRect(const Rect& rect);
    void AddRect(const RectT<std::int32_t>& rect) { AddRect(Rect::FromRectT(rect)); }
    // AddRect of every node of other, in other's order.
    void Append(const RgnLight& other);
    void Clear() noexcept;
    std::uint32_t GetCount() const noexcept;
    bool IsEmpty() const noexcept { return mHead == nullptr; }
    const Node* GetFirstNode() const noexcept { return mHead; }

    // Empties the array, then appends every node in list order.
    void GetRects(IArray<RectT<std::int32_t>>& rects) const;
    // False and all zero when empty; else the smallest rectangle holding every node.
    bool GetBounds(Rect& bounds) const noexcept;
    void Offset(std::int32_t dx, std::int32_t dy) noexcept;
    // The same rectangles in the same order.
    bool Equals(const RgnLight& other) const noexcept;

    // Overlap of two non-empty rectangles.
    static bool Intersects(const Rect& rect, const Rect& node) noexcept;
    // True when the rectangle overlaps a node; an empty rectangle overlaps nothing.
    bool IntersectsRect(const Rect& rect) const noexcept;
    // The rectangle moved by the offset and clipped to 0..2^31-1, rounded to
    // whole pixels, then IntersectsRect.
    bool IntersectsArea(const RectT<double>& rect, const PointT<double>& offset) const noexcept;

    // Removes the rectangle; the cut-out parts go to removed, or are freed
    // when removed is null.
    void SubtractRect(const Rect& rect, RgnLight* removed);
    void Subtract(const RgnLight& other, RgnLight* removed);
    // Keeps exactly the parts that lie inside other.
    void Intersect(const RgnLight& other);
    // Adds the rectangle without creating overlap.
    void UnionRect(const Rect& rect);
    void UnionRect(const RectT<std::int32_t>& rect) { UnionRect(Rect::FromRectT(rect)); }
    // Unlinks and frees a node of this region.
    void RemoveNode(Node* node) noexcept;
    // Sorts the nodes into horizontal bands and merges neighbours; the area
    // covered does not change.
    void Optimize();

    static Node* AllocateNode();
    static void FreeNode(Node* node) noexcept;

    // Nodes handed out by AllocateNode and not yet freed, and the most there
    // ever were at once.
    static std::uint32_t GetLiveNodeCount() noexcept;
    static std::uint32_t GetPeakNodeCount() noexcept;
    // Whether a node lies in the pool's block (rather than on the heap).
    static bool IsPoolNode(const Node* node) noexcept;

private:
    void PushNode(Node* node) noexcept
    {
        node->next = mHead;
        mHead = node;
    }
    void RemoveEmptyNodes() noexcept;
    void SortByTop() noexcept;
    void SplitIntoBands();
    void MergeWithinBands() noexcept;
    void MergeAcrossBands() noexcept;

    Node* mHead = nullptr;
};
} // namespace Vx
