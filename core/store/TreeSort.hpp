#pragma once

namespace quorvel {

// How documents are ordered within a folder of the tree; folders keep their server order.
enum class TreeSort { name, updatedDescending };

} // namespace quorvel
