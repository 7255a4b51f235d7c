#pragma once

#include <algorithm>

// Every sort of the model goes through here. The model's predicates may be true for
// equal items (>=, or a negated order), which std::sort answers by running past the
// ends. This sorts by the strict part of `before` (a before b and not b before a) with
// std::stable_sort, which stays in bounds even where the order is not transitive;
// items that tie keep their input order.
template<class Container, class Before>
void safeSort(Container& items, Before before)
{
    std::stable_sort(items.begin(), items.end(),
                     [&before](const auto& a, const auto& b) { return before(a, b) && !before(b, a); });
}
