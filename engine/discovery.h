#pragma once
// TDiscovery: the instances of the table and the rows polled from them. The label column is
// walked (snmp/walk.h judges each binding, the session sends the steps, this class takes the
// rows): every OID in the column names an instance, its value the instance's description. In ALL
// INSTANCES mode the instances found (under the mask) are the rows; in AT RUNTIME mode the found
// instances fill the instance-mask choices and the picked entry selects the rows. A refresh walk
// finds the instances again and tells which rows went and which are new. A row filter may
// keep instances from being rows: they are still found (and offered as mask choices), but not
// polled. The rows are held as a TRowTable, shared with the snapshots made of them; the
// instances found are the rows themselves until a filter, a picked mask entry or a refresh sets
// them apart, so that a walk's instances are stored once.
// Thread: the window's thread only.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/row_table.h"
#include "snmp/walk.h"

namespace kestrava {

// What one binding of a walk means for the rows.
struct TWalkStep {
  // kLimit: the walk found as many instances as it may; this one is not taken.
  enum TKind { kNext, kEnd, kOutOfOrder, kLimit } Kind = kEnd;
  bool Taken = false;  // the answer named an instance that was taken
};

// What a finished refresh walk changed: the rows that went (each index counted in the rows as
// they were when it went, in the order they went) and how many rows were appended.
struct TRowChanges {
  std::vector<int> Removed;
  int Appended = 0;
  bool Any() const { return !Removed.empty() || Appended > 0; }
};

class TDiscovery {
 public:
  // labelOid: the column walked; mask: the instance mask ("" none; "RT" parts are picked).
  void Reset(std::string labelOid, std::string mask);

  // A walk ends after this many instances: an agent whose column never ends must not fill
  // the memory. Kept by Reset.
  void SetRowLimit(int rows) { m_rowLimit = rows; }
  int RowLimit() const { return m_rowLimit; }

  const std::string& LabelOid() const { return m_labelOid; }
  const std::string& Mask() const { return m_mask; }
  const std::vector<TInstance>& Rows() const { return m_rows.Items(); }
  // The rows as the table the snapshots share.
  const TRowTable& RowTable() const { return m_rows; }
  const std::vector<TInstance>& Found() const { return m_foundApart ? m_found.Items() : Rows(); }
  const std::vector<std::string>& MaskChoices() const { return m_maskChoices; }

  // Which instances may be rows (the row filter); none set: every one. Kept by Reset.
  void SetAdmission(std::function<bool(const TInstance&)> admits) { m_admits = std::move(admits); }
  // Drops the rows the admission refuses, at the end of discovery; FilteredOut counts them.
  void FilterRows();
  // Instances that would be rows but for the admission, as the last filtering counted them.
  int FilteredOut() const { return m_filteredOut; }

  // Discovery: the rows start empty; Step takes the instance a binding (oid, value) names, as
  // the walk judged it.
  void StartWalk();
  TWalkStep Step(std::string_view oid, TWalkBinding binding, const std::string& value);
  // The end of discovery in ALL INSTANCES mode: the rows are what was taken.
  // The end in AT RUNTIME mode: the mask choices from every found instance.
  void BuildMaskChoices();
  // The index of the entry equal to `entry` among the mask choices, or -1.
  int ChoiceIndex(const std::string& entry) const;
  // A picked entry (index into the mask choices) replaces the mask for good and selects the
  // rows among the found instances; false (no rows) when the index picks nothing.
  bool Select(int choice);
  int Choice() const { return m_choice; }

  // A refresh walk: Step as above over a list of its own, then the rows compared with it.
  void StartRefresh();
  TWalkStep RefreshStep(std::string_view oid, TWalkBinding binding, const std::string& value);
  TRowChanges EndRefresh();
  // What the refresh walk under way found; let go by EndRefresh.
  const std::vector<TInstance>& RefreshFound() const { return m_refreshFound; }

 private:
  TWalkStep Judge(std::string_view oid, TWalkBinding binding, const std::string& value,
                  std::vector<TInstance>& into);
  bool Takes(const std::string& suffix) const;
  // The found instances, from now on a list apart from the rows (sharing them until either
  // changes).
  void SetFoundApart();

  std::string m_labelOid;
  std::string m_mask;
  TRowTable m_rows;
  TRowTable m_found;          // what was found, when m_foundApart
  bool m_foundApart = false;  // false: what was found is the rows
  std::vector<TInstance> m_refreshFound;
  std::vector<std::string> m_maskChoices;
  int m_choice = -1;
  int m_rowLimit = 100000;
  int m_walked = 0;  // instances the walk under way found
  std::function<bool(const TInstance&)> m_admits;
  int m_filteredOut = 0;
};

// The entries of the instance-mask list that one found instance adds: for every "RT" component
// of the mask, the mask with every "RT" replaced by the instance's component at that position.
std::vector<std::string> MaskEntries(const std::string& mask, const std::string& instance);

}  // namespace kestrava
