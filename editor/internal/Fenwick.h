#pragma once

#include <QtGlobal>
#include <vector>

namespace ostrel::editor::internal {

// Sums over a sequence of numbers (one per block of text) that change one at
// a time: a prefix sum, a change and a search by sum in logarithmic time.
class Fenwick {
public:
    void assign(const std::vector<qint64>& values) {
        const size_t n = values.size();
        m_tree.assign(n + 1, 0);
        for (size_t i = 1; i <= n; ++i) {
            m_tree[i] += values[i - 1];
            const size_t parent = i + (i & (~i + 1));
            if (parent <= n)
                m_tree[parent] += m_tree[i];
        }
    }
    size_t size() const { return m_tree.empty() ? 0 : m_tree.size() - 1; }
    // Adds a number at the end.
    void append(qint64 value) {
        if (m_tree.empty())
            m_tree.push_back(0);
        const size_t i = m_tree.size();
        // The new node covers (i - lowbit(i), i].
        const size_t low = i - (i & (~i + 1));
        m_tree.push_back(value + prefix(i - 1) - prefix(low));
    }
    void add(size_t index, qint64 delta) {
        for (size_t i = index + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }
    // The sum of the first `count` numbers.
    qint64 prefix(size_t count) const {
        qint64 sum = 0;
        for (size_t i = count; i > 0; i -= i & (~i + 1))
            sum += m_tree[i];
        return sum;
    }
    qint64 total() const { return prefix(size()); }
    // The first index whose prefix sum including it exceeds `value` (the
    // numbers are not negative), with the sum before it; size() when none.
    size_t find(qint64 value, qint64* before) const {
        size_t pos = 0;
        qint64 sum = 0;
        size_t step = 1;
        while (step * 2 < m_tree.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step < m_tree.size() && sum + m_tree[pos + step] <= value) {
                pos += step;
                sum += m_tree[pos];
            }
        }
        if (before)
            *before = sum;
        return pos;
    }

private:
    std::vector<qint64> m_tree; // 1-based
};

} // namespace ostrel::editor::internal
