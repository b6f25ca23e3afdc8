#pragma once
// TWalk: one walk of a subtree with get-next or GetBulk (non-repeaters 0), for every walk of the
// program: discovery and the refresh walk in the engine, walk and bulkwalk in kestrava-snmp.
// It sends nothing: its owner sends a step for Next() (GetBulk with Repetitions() when above 0,
// else get-next), however it sends, and hands the answer to Step, which judges each binding,
// tells the owner of every binding it read, and says whether and how the walk goes on.
// Two readings, as two kinds of owner need them: kLikeNetSnmp reads answers as net-snmp's
// snmpwalk and snmpbulkwalk do (kestrava-snmp prints what they print), kRows as a walk that
// gathers the rows of a table must (each binding after the one before it, the root itself
// outside, fewer repetitions after tooBig). Their differences stand in walk.cpp, one place each.
// Thread: any; one object is used by one thread at a time.

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kestrava {

// One binding of an answer as the walk reads it: its OID (dotted decimal, no leading dot) and
// its BER tag. Points into the answer, which outlives the step.
struct TWalkBindingRef {
  std::string_view Oid;
  int Type = 0;
};

// What one binding means: a row of the walk; a binding outside the subtree; the agent's
// exception in the subtree (noSuchObject, noSuchInstance, endOfMibView); or an OID that does not
// come after the one it must follow (the agent would keep the walk going for ever). Only kRow
// lets the walk go on.
enum class TWalkBinding { kRow, kOutside, kException, kNotIncreasing };

class TWalk {
 public:
  enum class TReading { kLikeNetSnmp, kRows };
  // What an answer made of the walk.
  enum class TStep {
    kNext,       // every binding read was a row: ask the step after them
    kAgain,      // tooBig: ask the same step again, with fewer repetitions
    kOver,       // a binding ended the walk, or the owner stopped it (see OnBinding)
    kEndOfView,  // noSuchName, the end of an SNMPv1 agent's view (net-snmp: any GetBulk's too)
    kError,      // another error status: the walk failed
    kEmpty,      // an answer without bindings
  };
  // Told of each binding read, in order, with its index in the answer; false stops reading
  // and ends the walk.
  using OnBinding = std::function<bool(size_t index, TWalkBinding binding)>;

  TWalk() = default;
  // root: the subtree; repetitions: of each GetBulk step, 0 for get-next steps;
  // snmpVersion: 1, 2 (2c) or 3.
  TWalk(std::string root, int repetitions, int snmpVersion, TReading reading);

  const std::string& Root() const { return m_root; }
  // The OID the next step asks after, and its max-repetitions (0: a get-next step).
  const std::string& Next() const { return m_next; }
  int Repetitions() const { return m_repetitions; }

  // Reads the answer to the step asked for Next() with Repetitions().
  TStep Step(int errorStatus, std::span<const TWalkBindingRef> bindings,
             const OnBinding& onBinding);
  // The step (with its resends) went unanswered. A GetBulk step goes again with half the
  // repetitions, and with get-next after a single repetition went unanswered: true. A get-next
  // step ends the walk: false.
  bool Lost();

 private:
  TWalkBinding Judge(std::string_view after, const TWalkBindingRef& binding) const;

  std::string m_root;
  std::string m_next;
  int m_repetitions = 0;
  int m_snmpVersion = 2;
  TReading m_reading = TReading::kRows;
};

}  // namespace kestrava
