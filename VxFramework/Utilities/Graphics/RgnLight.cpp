#include "VxFramework/Utilities/Graphics/RgnLight.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Mutex.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/Storage/FixedBlockPool.h"

#include <algorithm>
#include <new>

namespace Vx
{
namespace
{
// Enough for the dirty rectangles of a busy frame; more spill to the heap.
constexpr std::uint32_t kPoolSlots = 512;

struct NodePool
{
    Mutex mutex;
    FixedBlockPool pool{static_cast<std::uint32_t>(sizeof(RgnLight::Node))};
    std::uint32_t live = 0;
    std::uint32_t peak = 0;
};

// Built on first use and never destroyed: regions in static objects may free
// their nodes during exit.
NodePool& GetNodePool()
{
    static NoDestructor<NodePool> pool;
    return *pool;
}

// Both axes overlap: p is the one with the smaller start, q the other.
bool SpansOverlap(std::int32_t aStart, std::int32_t aEnd, std::int32_t bStart, std::int32_t bEnd) noexcept
{
    if (aStart < bStart)
        return bStart < aEnd;
    return aStart < bEnd;
}
} // namespace

RgnLight::Node* RgnLight::AllocateNode()
{
    NodePool& nodePool = GetNodePool();
    void* block;
    {
        ScopedLock lock(nodePool.mutex);
        if (nodePool.peak == 0)
            nodePool.pool.Setup(kPoolSlots);
        block = nodePool.pool.Allocate();
        if (block != nullptr)
        {
            ++nodePool.live;
            nodePool.peak = std::max(nodePool.peak, nodePool.live);
        }
    }
    if (block == nullptr)
        throw std::bad_alloc();
    return new (block) Node{};
}

void RgnLight::FreeNode(Node* node) noexcept
{
    if (node == nullptr)
        return;
    NodePool& nodePool = GetNodePool();
    ScopedLock lock(nodePool.mutex);
    nodePool.pool.Free(node);
    --nodePool.live;
}

std::uint32_t RgnLight::GetLiveNodeCount() noexcept
{
    NodePool& nodePool = GetNodePool();
    ScopedLock lock(nodePool.mutex);
    return nodePool.live;
}

std::uint32_t RgnLight::GetPeakNodeCount() noexcept
{
    NodePool& nodePool = GetNodePool();
    ScopedLock lock(nodePool.mutex);
    return nodePool.peak;
}

bool RgnLight::IsPoolNode(const Node* node) noexcept
{
    NodePool& nodePool = GetNodePool();
    ScopedLock lock(nodePool.mutex);
    return nodePool.pool.Contains(node);
}

RgnLight& RgnLight::operator=(RgnLight&& other) noexcept
{
    if (this != &other)
    {
        Clear();
        mHead = other.mHead;
        other.mHead = nullptr;
    }
    return *this;
}

void RgnLight::AddRect(const Rect& rect)
{
    Node* node = AllocateNode();
    static_cast<Rect&>(*node) = rect;
    PushNode(node);
}

void RgnLight::Append(const RgnLight& other)
{
    // Nodes go in at the head, so walking other (even when it is this region)
    // sees only its original nodes.
    for (const Node* node = other.mHead; node != nullptr; node = node->next)
        AddRect(*node);
}

void RgnLight::Clear() noexcept
{
    Node* node = mHead;
    mHead = nullptr;
    while (node != nullptr)
    {
        Node* next = node->next;
        FreeNode(node);
        node = next;
    }
}

std::uint32_t RgnLight::GetCount() const noexcept
{
    std::uint32_t count = 0;
    for (const Node* node = mHead; node != nullptr; node = node->next)
        ++count;
    return count;
}

void RgnLight::GetRects(IArray<RectT<std::int32_t>>& rects) const
{
    rects.RemoveAll();
    for (const Node* node = mHead; node != nullptr; node = node->next)
        rects.Add(node->ToRectT());
}

bool RgnLight::GetBounds(Rect& bounds) const noexcept
{
    if (mHead == nullptr)
    {
        bounds = Rect{0, 0, 0, 0};
        return false;
    }
    bounds = *mHead;
    for (const Node* node = mHead->next; node != nullptr; node = node->next)
    {
        bounds.left = std::min(bounds.left, node->left);
        bounds.top = std::min(bounds.top, node->top);
        bounds.right = std::max(bounds.right, node->right);
        bounds.bottom = std::max(bounds.bottom, node->bottom);
    }
    return true;
}

void RgnLight::Offset(std::int32_t dx, std::int32_t dy) noexcept
{
    if (dx == 0 && dy == 0)
        return;
    for (Node* node = mHead; node != nullptr; node = node->next)
    {
        node->left += dx;
        node->right += dx;
        node->top += dy;
        node->bottom += dy;
    }
}

bool RgnLight::Equals(const RgnLight& other) const noexcept
{
    const Node* a = mHead;
    const Node* b = other.mHead;
    for (; a != nullptr && b != nullptr; a = a->next, b = b->next)
    {
        if (static_cast<const Rect&>(*a) != static_cast<const Rect&>(*b))
            return false;
    }
    return a == nullptr && b == nullptr;
}

bool RgnLight::Intersects(const Rect& rect, const Rect& node) noexcept
{
    return SpansOverlap(rect.left, rect.right, node.left, node.right) &&
           SpansOverlap(rect.top, rect.bottom, node.top, node.bottom);
}

bool RgnLight::IntersectsRect(const Rect& rect) const noexcept
{
    if (rect.IsEmpty())
        return false;
    for (const Node* node = mHead; node != nullptr; node = node->next)
    {
        if (!node->IsEmpty() && Intersects(rect, *node))
            return true;
    }
    return false;
}

bool RgnLight::IntersectsArea(const RectT<double>& rect, const PointT<double>& offset) const noexcept
{
    constexpr double kLimit = 2147483647.0;
    constexpr double kEpsilon = 2.220446049250313e-16;
    const double x = rect.x + offset.x;
    const double y = rect.y + offset.y;
    const double left = std::clamp(x, 0.0, kLimit);
    const double top = std::clamp(y, 0.0, kLimit);
    const double width = std::clamp(x + rect.width, 0.0, kLimit) - left;
    const double height = std::clamp(y + rect.height, 0.0, kLimit) - top;
    // Written so that NaN answers false as well.
    if (!(width > kEpsilon) || !(height > kEpsilon))
        return false;
    const Rect pixels{RoundHalfAwayFromZero(left), RoundHalfAwayFromZero(top), RoundHalfAwayFromZero(left + width),
                      RoundHalfAwayFromZero(top + height)};
    return IntersectsRect(pixels);
}

void RgnLight::SubtractRect(const Rect& rect, RgnLight* removed)
{
    // An empty rectangle removes nothing; cutting by it would leave empty
    // slivers in the region.
    if (rect.IsEmpty())
        return;
    Node* previousKept = nullptr;
    Node* node = mHead;
    while (node != nullptr)
    {
        Node* next = node->next;
        if (!Intersects(rect, *node))
        {
            previousKept = node;
            node = next;
            continue;
        }
        // The pieces outside the rectangle are pushed at the head, ahead of
        // the walk, so they are not visited again.
        if (node->top < rect.top)
        {
            AddRect(Rect{node->left, node->top, node->right, rect.top});
            node->top = rect.top;
        }
        if (rect.bottom < node->bottom)
        {
            AddRect(Rect{node->left, rect.bottom, node->right, node->bottom});
            node->bottom = rect.bottom;
        }
        if (node->left < rect.left)
        {
            AddRect(Rect{node->left, node->top, rect.left, node->bottom});
            node->left = rect.left;
        }
        if (rect.right < node->right)
        {
            AddRect(Rect{rect.right, node->top, node->right, node->bottom});
            node->right = rect.right;
        }
        if (previousKept != nullptr)
            previousKept->next = next;
        else if (mHead == node)
            mHead = next;
        else
        {
            Node* predecessor = mHead;
            while (predecessor->next != node)
                predecessor = predecessor->next;
            predecessor->next = next;
        }
        if (removed != nullptr)
            removed->PushNode(node);
        else
            FreeNode(node);
        node = next;
    }
}

void RgnLight::Subtract(const RgnLight& other, RgnLight* removed)
{
    if (&other == this || &other == removed)
    {
        // Walking a list that the subtraction changes would visit freed nodes.
        RgnLight copy;
        copy.Append(other);
        Subtract(copy, removed);
        return;
    }
    for (const Node* node = other.mHead; node != nullptr; node = node->next)
        SubtractRect(*node, removed);
}

void RgnLight::Intersect(const RgnLight& other)
{
    if (&other == this)
        return;
    RgnLight inside;
    Subtract(other, &inside);
    Node* outside = mHead;
    mHead = inside.mHead;
    inside.mHead = outside; // freed with the temporary
}

void RgnLight::UnionRect(const Rect& rect)
{
    if (rect.IsEmpty())
        return;
    SubtractRect(rect, nullptr);
    AddRect(rect);
}

void RgnLight::RemoveNode(Node* node) noexcept
{
    Node** link = &mHead;
    while (*link != nullptr && *link != node)
    {
        VX_ASSERT(node == nullptr || !Intersects(**link, *node));
        link = &(*link)->next;
    }
    if (*link == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    *link = node->next;
    FreeNode(node);
}

void RgnLight::Optimize()
{
    RemoveEmptyNodes();
    SortByTop();
    SplitIntoBands();
    MergeWithinBands();
    MergeAcrossBands();
}

void RgnLight::RemoveEmptyNodes() noexcept
{
    // Empty nodes cover nothing; left in, they would break the bands apart.
    Node** link = &mHead;
    while (*link != nullptr)
    {
        Node* node = *link;
        if (node->IsEmpty())
        {
            *link = node->next;
            FreeNode(node);
        }
        else
            link = &node->next;
    }
}

void RgnLight::SortByTop() noexcept
{
    bool swapped;
    do
    {
        swapped = false;
        for (Node** link = &mHead; *link != nullptr && (*link)->next != nullptr; link = &(*link)->next)
        {
            Node* a = *link;
            Node* b = a->next;
            if (b->top < a->top)
            {
                a->next = b->next;
                b->next = a;
                *link = b;
                swapped = true;
            }
        }
    } while (swapped);
}

void RgnLight::SplitIntoBands()
{
    std::int32_t bandBottom = 0;
    Node* insertAfter = nullptr;
    for (Node* p = mHead; p != nullptr; p = p->next)
    {
        if (p == mHead || p->top >= bandBottom || bandBottom >= p->bottom)
        {
            // The band runs from p's top to the nearest of the bottoms of the
            // nodes that share that top and the next top below it.
            bandBottom = p->bottom;
            insertAfter = nullptr;
            Node* s = p->next;
            while (s != nullptr && s->top == p->top)
            {
                bandBottom = std::min(bandBottom, s->bottom);
                s = s->next;
            }
            if (s != nullptr && s->top < bandBottom)
            {
                bandBottom = s->top;
                insertAfter = s;
            }
        }
        if (p->top < bandBottom && bandBottom < p->bottom)
        {
            // The part below the band is split off and put where its top keeps
            // the list sorted; the walk splits it again when it reaches it.
            Node* piece = AllocateNode();
            piece->left = p->left;
            piece->top = bandBottom;
            piece->right = p->right;
            piece->bottom = p->bottom;
            Node* after = insertAfter;
            if (after == nullptr)
            {
                after = p;
                while (after->next != nullptr && after->next->top < bandBottom)
                    after = after->next;
            }
            piece->next = after->next;
            after->next = piece;
            p->bottom = bandBottom;
        }
    }
}

void RgnLight::MergeWithinBands() noexcept
{
    Node** bandLink = &mHead;
    while (*bandLink != nullptr)
    {
        const std::int32_t top = (*bandLink)->top;
        bool changed;
        do
        {
            changed = false;
            Node** link = bandLink;
            while ((*link)->next != nullptr && (*link)->next->top == top)
            {
                Node* c = *link;
                Node* n = c->next;
                if (n->right == c->left || c->right == n->left)
                {
                    // Same band, touching: one rectangle covers both exactly.
                    if (c->left > n->left)
                        c->left = n->left;
                    else
                        c->right = n->right;
                    c->next = n->next;
                    FreeNode(n);
                    // A grown node may now touch its predecessor: another pass.
                    changed = true;
                }
                else if (c->left > n->left)
                {
                    c->next = n->next;
                    n->next = c;
                    *link = n;
                    link = &n->next;
                    changed = true;
                }
                else
                    link = &c->next;
            }
        } while (changed);
        Node* last = *bandLink;
        while (last->next != nullptr && last->next->top == top)
            last = last->next;
        bandLink = &last->next;
    }
}

void RgnLight::MergeAcrossBands() noexcept
{
    // Bands are told apart by their bottoms now: a node that took the top of
    // the band above it keeps its own band's bottom.
    const auto bandAfter = [](Node* first) -> Node* {
        Node* node = first;
        while (node->next != nullptr && node->next->bottom == first->bottom)
            node = node->next;
        return node->next;
    };
    const auto isLastOfBand = [](const Node* node, std::int32_t bottom) {
        return node->next == nullptr || node->next->bottom != bottom;
    };

    if (mHead == nullptr)
        return;
    Node* u = mHead;
    Node* lowerFirst = bandAfter(u);
    Node* l = lowerFirst;
    while (u != nullptr && l != nullptr)
    {
        const std::int32_t lowerBottom = lowerFirst->bottom;
        if (l->top == u->bottom && l->left == u->left && l->right == u->right)
        {
            l->top = u->top;
            Node* nextU = u->next;
            const bool lWasLast = isLastOfBand(l, lowerBottom);
            Node* nextL = l->next;
            RemoveNode(u);
            u = lWasLast ? lowerFirst : nextU;
            l = nextL;
        }
        else if (isLastOfBand(l, lowerBottom))
        {
            u = u->next;
            l = lowerFirst;
        }
        else
            l = l->next;
        if (u == lowerFirst)
        {
            lowerFirst = bandAfter(lowerFirst);
            l = lowerFirst;
        }
    }
}
} // namespace Vx
