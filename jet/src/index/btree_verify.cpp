// The index verifier: walks a whole tree depth-first and reports every broken invariant instead of
// throwing, so that a checker can list all problems of a file.
#include <optional>
#include <set>

#include "index/btree.h"
#include "page/format.h"
#include "jet/error.h"

namespace jet {
namespace {


struct Range {
  IndexEntry min;
  IndexEntry max;
};

class Verifier {
 public:
  Verifier(PageSource& src, const FormatInfo& info, uint32_t owner, IndexCheck* out)
      : src_(src), info_(info), owner_(owner), out_(out) {}

  void Run(uint32_t root) {
    Visit(root, 0);
    CheckLevels();
    out_->depth = static_cast<int>(levels_.size());
  }

 private:
  void Problem(uint32_t page, const std::string& what) {
    out_->problems.push_back("index page " + std::to_string(page) + ": " + what);
  }

  static std::string Show(const IndexEntry& e) {
    return "entry of row " + std::to_string(e.page) + ":" + std::to_string(e.row);
  }

  std::optional<IndexPage> Read(uint32_t n) {
    try {
      return DecodeIndexPage(info_, src_.ReadPage(n), src_.file_name(), n);
    } catch (const Error& e) {
      out_->problems.push_back(e.what());
      return std::nullopt;
    }
  }

  void CheckPage(uint32_t n, const IndexPage& p) {
    if (p.owner != owner_) Problem(n, "owned by TDEF page " + std::to_string(p.owner));
    const uint32_t expected_free = info_.page_size - info_.ipage_entries - p.used;
    if (p.free_space != expected_free) {
      Problem(n, "free space " + std::to_string(p.free_space) + ", expected " +
                     std::to_string(expected_free));
    }
    for (size_t i = 1; i < p.entries.size(); ++i) {
      if (CompareEntries(p.entries[i - 1], p.entries[i]) >= 0) {
        Problem(n, "entries out of order at position " + std::to_string(i));
      }
    }
    if (!p.leaf() && p.tail == 0 && p.entries.size() > 1) {
      Problem(n, "several children but no tail child");
    }
    if (!p.leaf() && p.tail != 0 && p.entries.empty()) {
      Problem(n, "a single child held as tail instead of an explicit entry");
    }
    if (!p.leaf() && p.tail == 0 && p.entries.empty()) Problem(n, "intermediate page without children");
  }

  // Checks the subtree at `n`; returns its smallest and greatest leaf entries.
  std::optional<Range> Visit(uint32_t n, int depth) {
    if (depth > kMaxIndexDepth) {
      Problem(n, "tree deeper than 32 levels");
      return std::nullopt;
    }
    if (!seen_.insert(n).second) {
      Problem(n, "used twice in the tree");
      return std::nullopt;
    }
    out_->pages.push_back(n);
    std::optional<IndexPage> read = Read(n);
    if (!read) return std::nullopt;
    const IndexPage p = std::move(*read);
    if (levels_.size() <= static_cast<size_t>(depth)) levels_.resize(depth + 1);
    levels_[depth].push_back({n, p.prev, p.next, p.leaf()});
    CheckPage(n, p);
    if (p.leaf()) {
      out_->entries += p.entries.size();
      if (p.entries.empty()) return std::nullopt;
      return Range{p.entries.front(), p.entries.back()};
    }
    return VisitChildren(n, p, depth);
  }

  std::optional<Range> VisitChildren(uint32_t n, const IndexPage& p, int depth) {
    std::optional<Range> all;
    std::vector<uint32_t> children;
    for (const IndexEntry& e : p.entries) children.push_back(e.child);
    if (p.tail != 0) children.push_back(p.tail);
    for (size_t i = 0; i < children.size(); ++i) {
      std::optional<Range> r = Visit(children[i], depth + 1);
      if (!r) {
        Problem(n, "child " + std::to_string(children[i]) + " holds no entries");
        continue;
      }
      if (i < p.entries.size()) {
        IndexEntry copy = p.entries[i];
        copy.child = 0;
        r->max.child = 0;
        if (!(copy == r->max)) {
          Problem(n, "entry for child " + std::to_string(children[i]) +
                         " is not the last entry of that subtree (" + Show(r->max) + ")");
        }
      }
      if (all && CompareEntries(all->max, r->min) >= 0) {
        Problem(n, "child " + std::to_string(children[i]) + " overlaps its left neighbour");
      }
      if (!all) {
        all = r;
      } else {
        all->max = r->max;
      }
    }
    return all;
  }

  void CheckLevels() {
    for (size_t d = 0; d < levels_.size(); ++d) {
      const auto& level = levels_[d];
      for (size_t i = 0; i < level.size(); ++i) {
        const uint32_t want_prev = i > 0 ? level[i - 1].page : 0;
        const uint32_t want_next = i + 1 < level.size() ? level[i + 1].page : 0;
        if (level[i].prev != want_prev) {
          Problem(level[i].page, "previous-page link " + std::to_string(level[i].prev) +
                                     ", expected " + std::to_string(want_prev));
        }
        if (level[i].next != want_next) {
          Problem(level[i].page, "next-page link " + std::to_string(level[i].next) +
                                     ", expected " + std::to_string(want_next));
        }
        if (level[i].leaf != (d + 1 == levels_.size())) {
          Problem(level[i].page, level[i].leaf ? "leaf above the bottom level"
                                               : "intermediate page on the bottom level");
        }
      }
    }
  }

  struct Node {
    uint32_t page;
    uint32_t prev;
    uint32_t next;
    bool leaf;
  };

  PageSource& src_;
  const FormatInfo& info_;
  uint32_t owner_;
  IndexCheck* out_;
  std::set<uint32_t> seen_;
  std::vector<std::vector<Node>> levels_;  // pages of each level, left to right
};

}  // namespace

IndexCheck VerifyIndex(PageSource& src, const FormatInfo& info, uint32_t root, uint32_t owner) {
  IndexCheck out;
  Verifier(src, info, owner, &out).Run(root);
  return out;
}

}  // namespace jet
