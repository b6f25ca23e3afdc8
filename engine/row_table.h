#pragma once
// TRowTable: the rows of a table, each instance with its suffix and its label, stored once.
// The discovery holds the rows it found and every snapshot layout of the same rows holds the
// same table, so that a label exists once however many snapshots name it. A table that is
// shared never changes: a change made through one holder copies it first, and the others (a
// layout already published, read on another thread) keep the rows they were made with.
// Thread: a shared table may be read on any thread; only its holder's thread changes it.

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrava {

// One instance: its suffix after the column's OID (".3", with its leading dot) and the value the
// label column gave for it.
struct TInstance {
  std::string Suffix;
  std::string Label;
  bool operator==(const TInstance&) const = default;
};

class TRowTable {
 public:
  TRowTable() = default;
  TRowTable(std::initializer_list<TInstance> rows) : TRowTable(std::vector<TInstance>(rows)) {}
  // Not explicit: a list of rows is a table of them.
  TRowTable(std::vector<TInstance> rows)
      : m_rows(std::make_shared<std::vector<TInstance>>(std::move(rows))) {}

  const std::vector<TInstance>& Items() const { return m_rows ? *m_rows : Empty(); }
  size_t size() const { return Items().size(); }
  bool empty() const { return Items().empty(); }
  const TInstance& operator[](size_t row) const { return Items()[row]; }
  const TInstance& back() const { return Items().back(); }
  auto begin() const { return Items().begin(); }
  auto end() const { return Items().end(); }
  // Both hold the same storage (not merely equal rows).
  bool Shares(const TRowTable& other) const { return m_rows == other.m_rows; }

  // The rows to change, this holder's own: copied first when another holds them too.
  std::vector<TInstance>& Edit() {
    if (!m_rows) {
      m_rows = std::make_shared<std::vector<TInstance>>();
    } else if (m_rows.use_count() > 1) {
      m_rows = std::make_shared<std::vector<TInstance>>(*m_rows);
    }
    return *m_rows;
  }
  void push_back(TInstance row) { Edit().push_back(std::move(row)); }
  // Lets go of the rows; other holders keep theirs.
  void clear() { m_rows.reset(); }

 private:
  static const std::vector<TInstance>& Empty() {
    static const std::vector<TInstance> none;
    return none;
  }

  std::shared_ptr<std::vector<TInstance>> m_rows;
};

}  // namespace kestrava
