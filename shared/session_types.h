#pragma once
// Plain types that the engine, the configuration and the chart share: the session request
// (TRequest, copied by value), the legend's side and the colour that asks for the palette.
// Thread: any; plain data.

#include <cstdint>
#include <string>

namespace kestrava {

struct TRequest {
  int32_t Interval = 0;      // polling interval in seconds; also picks the time-out threshold
  std::string Community;     // SNMP community
  std::string Host;          // agent host name or address
  int32_t Operation = 0;     // 1 get, 2 get-next, 3 get-bulk (non-repeaters 0)
  int32_t MaxRepetitions = 0;  // get-bulk only
  int32_t SnmpVersion = 1;   // 1, 2 or 3
  int32_t RemotePort = 161;  // agent UDP port
  std::string OidList;       // item list of the OIDs asked for
  uint32_t RequestId = 0;    // request id given at the first send
  double SentAt = 0;         // local date and time of the last send, in days
  int32_t TriesLeft = 0;     // sends still allowed; 0 none left; -1 finished
  int32_t Purpose = 0;       // 0 poll, 10 discovery step, 11 refresh step
  int32_t OwnerJob = 0;      // Kind of the schedule job that issued the request
};

// Operations of a request.
inline constexpr int32_t kOperationGet = 1;
inline constexpr int32_t kOperationGetNext = 2;
inline constexpr int32_t kOperationGetBulk = 3;

// Purposes of a request.
inline constexpr int32_t kPurposePoll = 0;
inline constexpr int32_t kPurposeDiscovery = 10;
inline constexpr int32_t kPurposeRefresh = 11;
inline constexpr int32_t kPurposeProbe = 12;  // what the counters are, asked once
// The instances' interface type and state, for the row filter.
inline constexpr int32_t kPurposeRowFacts = 13;

// Where the legend stands beside the pie.
enum TLegendAlignment { laLeft = 0, laRight = 1, laTop = 2, laBottom = 3 };

// Colour value meaning "take the palette colour of this slice's index".
inline constexpr uint32_t PaletteColour = 0x20000000;

}  // namespace kestrava
