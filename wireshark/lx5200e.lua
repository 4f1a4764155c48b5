-- Wireshark dissector for the LX-5200-E interface device: the UDP traffic between the PC (the
-- vending machine controller) and the device that carries an MDB coin changer's bus.
--
-- Communication port (default 4003): one MDB command per datagram from the PC (the address-and-
-- command byte, then its data, no checksum); from the device a header byte (the changer's MDB
-- address, 08..0F) and then the changer's answer: nothing (a tick), a poll status, or a response
-- block. Control port (default 4001): three bytes 08 03 code from the PC only.
--
-- Install for one user: copy this file to ~/.local/lib/wireshark/plugins/ and restart Wireshark.
-- Or load it once: wireshark -X lua_script:lx5200e.lua, tshark -X lua_script:lx5200e.lua.

-- Wireshark reads its plugin folders before the scripts given with -X, and a protocol can be
-- registered once only. Where a copy of this file was loaded already (the package's, in the
-- global plugin folder), that copy decodes and this one steps aside with a note on standard
-- error (not standard output, which tshark's -T fields readers parse).
local registered, lx = pcall(Proto, "lx5200e", "LX-5200-E interface device (MDB coin changer)")
if not registered then
  local source = debug.getinfo(1, "S").source:gsub("^@", "")
  io.stderr:write(source .. ": not loaded: the protocol lx5200e is registered already by a copy "
    .. "in a plugin folder (tshark -G folders), which decodes instead\n")
  return
end

local PC_TO_DEVICE = "PC to device"
local DEVICE_TO_PC = "device to PC"
local ARROW = { [PC_TO_DEVICE] = "PC → device", [DEVICE_TO_PC] = "device → PC" }

local MAX_DATAGRAM = 1024 -- the PC reads at most this many bytes; more are lost

---------------------------------------------------------------------------------------------------
-- Names

local control_names = { [0] = "OFF", [11] = "POLL ON", [18] = "REPORT ON" }

local command_names = {
  [0x08] = "RESET", [0x09] = "SETUP", [0x0A] = "TUBE STATUS", [0x0B] = "POLL",
  [0x0C] = "COIN TYPE", [0x0D] = "DISPENSE", [0x0E] = "UNUSED (0E)", [0x0F] = "EXPANSION",
}
-- Bytes of each command, the address-and-command byte included.
local command_lengths = { [0x08] = 1, [0x09] = 1, [0x0A] = 1, [0x0B] = 1, [0x0C] = 5, [0x0D] = 2 }

local subcommand_names = {
  [0x00] = "IDENTIFICATION", [0x01] = "FEATURE ENABLE", [0x02] = "PAYOUT",
  [0x03] = "PAYOUT STATUS", [0x04] = "PAYOUT VALUE POLL", [0x05] = "SEND DIAGNOSTIC STATUS",
  [0x06] = "SEND CONTROLLED MANUAL FILL REPORT", [0x07] = "SEND CONTROLLED MANUAL PAYOUT REPORT",
  [0xFF] = "DIAGNOSTICS",
}
local subcommand_lengths = { [0x00] = 2, [0x01] = 6, [0x02] = 3, [0x03] = 2, [0x04] = 2, [0x05] = 2 }

-- The changer's poll status bytes that stand alone (MDB coin changer, POLL response).
local status_names = {
  [0x01] = "ESCROW REQUEST", [0x02] = "CHANGER PAYOUT BUSY", [0x03] = "NO CREDIT",
  [0x04] = "DEFECTIVE TUBE SENSOR", [0x05] = "DOUBLE ARRIVAL", [0x06] = "ACCEPTOR UNPLUGGED",
  [0x07] = "TUBE JAM", [0x08] = "ROM CHECKSUM ERROR", [0x09] = "COIN ROUTING ERROR",
  [0x0A] = "CHANGER BUSY", [0x0B] = "JUST RESET", [0x0C] = "COIN JAM",
  [0x0D] = "POSSIBLE CREDITED COIN REMOVAL",
}

local routing_names = { [0] = "cash box", [1] = "tubes", [2] = "not used", [3] = "returned" }

local feature_names = {
  [0] = "alternative payout method", [1] = "extended diagnostic command",
  [2] = "controlled manual fill and payout", [3] = "file transport layer",
}

-- Response blocks: what answers which query, and how long it is with its header.
local SETUP, TUBES, IDENT = "SETUP", "TUBE STATUS", "IDENTIFICATION"
local response_lengths = { [SETUP] = 24, [TUBES] = 19, [IDENT] = 34 }
local response_by_length = { [24] = SETUP, [19] = TUBES, [34] = IDENT }

---------------------------------------------------------------------------------------------------
-- Fields

local f = {
  direction = ProtoField.string("lx5200e.direction", "Direction"),
  summary = ProtoField.string("lx5200e.summary", "Summary"),
  channel = ProtoField.string("lx5200e.channel", "Channel"),
  control_code = ProtoField.uint8("lx5200e.control_code", "Control code", base.DEC, control_names),
  command = ProtoField.uint8("lx5200e.command", "Command", base.HEX, command_names),
  subcommand = ProtoField.uint8("lx5200e.subcommand", "EXPANSION sub-command", base.HEX,
    subcommand_names),
  coin_accept = ProtoField.uint16("lx5200e.coin_accept", "Coin accept mask", base.HEX),
  coin_dispense = ProtoField.uint16("lx5200e.coin_dispense",
    "Coin dispense mask (dispensing by hand at the changer)", base.HEX),
  dispense_coin = ProtoField.uint8("lx5200e.dispense_coin", "Coins to dispense", base.HEX),
  feature_enable = ProtoField.uint32("lx5200e.feature_enable", "Feature enable mask", base.HEX),
  payout_units = ProtoField.uint8("lx5200e.payout_units", "Payout (units of the scaling factor)",
    base.DEC),
  header = ProtoField.uint8("lx5200e.header", "Header (changer address)", base.HEX),
  -- What the datagram is, on every frame: command, response, control, tick, poll status ...
  kind = ProtoField.string("lx5200e.kind", "Datagram"),
  status = ProtoField.uint8("lx5200e.status", "Status", base.HEX, status_names),
  coin_type = ProtoField.uint8("lx5200e.coin_type", "Coin type", base.DEC, nil, 0x0F),
  routing = ProtoField.uint8("lx5200e.routing", "Routing", base.DEC, routing_names, 0x30),
  dispensed = ProtoField.uint8("lx5200e.dispensed", "Coins dispensed by hand", base.DEC, nil, 0x70),
  slugs = ProtoField.uint8("lx5200e.slugs", "Slugs", base.DEC, nil, 0x1F),
  tube_count = ProtoField.uint8("lx5200e.tube_count", "Coins in tube", base.DEC),
  answers = ProtoField.string("lx5200e.answers", "Answers"),
  feature_level = ProtoField.uint8("lx5200e.feature_level", "Feature level", base.DEC),
  country_code = ProtoField.string("lx5200e.country_code", "Country code"),
  scaling_factor = ProtoField.uint8("lx5200e.scaling_factor", "Scaling factor", base.DEC),
  decimal_places = ProtoField.uint8("lx5200e.decimal_places", "Decimal places", base.DEC),
  coin_routing = ProtoField.uint16("lx5200e.coin_routing", "Coin type routing", base.HEX),
  coin_credit = ProtoField.uint8("lx5200e.coin_credit", "Coin credit", base.DEC),
  tube_full = ProtoField.uint16("lx5200e.tube_full", "Tube full status", base.HEX),
  manufacturer = ProtoField.string("lx5200e.manufacturer", "Manufacturer code"),
  serial = ProtoField.string("lx5200e.serial", "Serial number"),
  model = ProtoField.string("lx5200e.model", "Model / tuning revision"),
  software_version = ProtoField.string("lx5200e.software_version", "Software version"),
  optional_features = ProtoField.uint32("lx5200e.optional_features", "Optional features",
    base.HEX),
  extra = ProtoField.bytes("lx5200e.extra", "Bytes after the block"),
  data = ProtoField.bytes("lx5200e.data", "Data"),
}

-- One boolean per coin type (or feature) of a mask, as sub-fields named prefix.typeN.
local function bit_fields(prefix, count, width, label, set_text, clear_text)
  local fields = {}
  for n = 0, count - 1 do
    fields[n] = ProtoField.bool(prefix .. "." .. (label and "bit" or "type") .. n,
      label and label(n) or ("Coin type " .. n), width, { set_text, clear_text }, 2 ^ n)
    f[prefix .. n] = fields[n]
  end
  return fields
end

local function feature_label(n) return feature_names[n] or ("bit " .. n) end

local accept_bits = bit_fields("lx5200e.coin_accept", 16, 16, nil, "accepted", "not accepted")
-- This mask only lets the changer's own buttons dispense a coin type; payouts ignore it.
local dispense_bits = bit_fields("lx5200e.coin_dispense", 16, 16, nil,
  "may be dispensed by hand at the changer", "not dispensed by hand")
local routing_bits = bit_fields("lx5200e.coin_routing", 16, 16, nil, "can go to its tube",
  "no tube")
local full_bits = bit_fields("lx5200e.tube_full", 16, 16, nil, "full", "not full")
local enable_bits = bit_fields("lx5200e.feature_enable", 4, 32, feature_label, "enabled",
  "disabled")
local feature_bits = bit_fields("lx5200e.optional_features", 4, 32, feature_label, "present",
  "absent")

do
  local list = {}
  for _, field in pairs(f) do list[#list + 1] = field end
  lx.fields = list
end

local e = {
  malformed = ProtoExpert.new("lx5200e.malformed", "Malformed datagram",
    expert.group.MALFORMED, expert.severity.ERROR),
  header = ProtoExpert.new("lx5200e.bad_header", "Header is not a changer address",
    expert.group.MALFORMED, expert.severity.ERROR),
  short = ProtoExpert.new("lx5200e.short", "Response block shorter than its layout",
    expert.group.MALFORMED, expert.severity.ERROR),
  length = ProtoExpert.new("lx5200e.length", "Unexpected length", expert.group.PROTOCOL,
    expert.severity.WARN),
  oversize = ProtoExpert.new("lx5200e.oversize", "Longer than the PC reads",
    expert.group.MALFORMED, expert.severity.ERROR),
  empty = ProtoExpert.new("lx5200e.empty", "Empty datagram", expert.group.MALFORMED,
    expert.severity.ERROR),
  control_from_device = ProtoExpert.new("lx5200e.control_from_device",
    "Device sent on the control port", expert.group.PROTOCOL, expert.severity.WARN),
  unknown = ProtoExpert.new("lx5200e.unknown", "Not understood", expert.group.UNDECODED,
    expert.severity.WARN),
  guessed = ProtoExpert.new("lx5200e.direction_guessed", "Direction guessed from the bytes",
    expert.group.ASSUMPTION, expert.severity.NOTE),
  fault = ProtoExpert.new("lx5200e.dissector_fault", "Dissector fault", expert.group.UNDECODED,
    expert.severity.ERROR),
}
lx.experts = { e.malformed, e.header, e.short, e.length, e.oversize, e.empty,
  e.control_from_device, e.unknown, e.guessed, e.fault }

---------------------------------------------------------------------------------------------------
-- Preferences

lx.prefs.comm_port = Pref.uint("Communication port", 4003,
  "UDP port of the MDB traffic (the same number on both sides)")
lx.prefs.control_port = Pref.uint("Control port", 4001,
  "UDP port of the device's control commands (the same number on both sides)")
lx.prefs.device_address = Pref.string("Device address", "",
  "IPv4 address of the LX-5200-E, used when the capture has no control traffic to tell it from")

local udp_table = DissectorTable.get("udp.port")
local registered = {}

local function register_ports()
  for _, port in ipairs(registered) do udp_table:remove(port, lx) end
  registered = { lx.prefs.comm_port, lx.prefs.control_port }
  for _, port in ipairs(registered) do udp_table:add(port, lx) end
end

function lx.prefs_changed() register_ports() end

---------------------------------------------------------------------------------------------------
-- Conversation state, built in frame order on the first pass and kept per frame, so that a frame
-- decodes the same way however often Wireshark dissects it again.

local devices = {} -- conversation key -> the device's address
local pending = {} -- conversation key -> the query the device has still to answer
local frames = {}  -- frame number -> { direction, guessed, answers }

function lx.init()
  devices, pending, frames = {}, {}, {}
end

local function conversation_key(a, b)
  if a < b then return a .. "|" .. b end
  return b .. "|" .. a
end

local function is_control_code(tvb)
  return tvb:len() == 3 and tvb(0, 1):uint() == 0x08 and tvb(1, 1):uint() == 0x03
end

local function has_changer_header(tvb)
  return tvb:len() >= 1 and bit.band(tvb(0, 1):uint(), 0xF8) == 0x08
end

-- Which side sent the datagram: the conversation first (the receiver of control codes is the
-- device, and so is the sender of a response block), then the device-address preference, then
-- the shape of the bytes. @returns direction, guessed
local function find_direction(tvb, src, dst, on_control, key)
  if on_control and is_control_code(tvb) then
    devices[key] = dst
  elseif not on_control and tvb:len() >= 8 and has_changer_header(tvb) and not devices[key] then
    devices[key] = src
  end
  local device = devices[key]
  if not device and lx.prefs.device_address ~= "" then device = lx.prefs.device_address end
  if device == src then return DEVICE_TO_PC, false end
  if device == dst then return PC_TO_DEVICE, false end
  -- Nothing known: commands of the PC have their own lengths. A lone 08 is RESET or a tick and is
  -- taken as the tick it mostly is; a lone 09, 0A or 0B is a query, as the device heads what it
  -- sends with 08.
  local n = tvb:len()
  if on_control then return PC_TO_DEVICE, true end
  if n == 1 and tvb(0, 1):uint() >= 0x09 and tvb(0, 1):uint() <= 0x0B then
    return PC_TO_DEVICE, true
  end
  if n >= 2 and n <= 6 then
    local first = tvb(0, 1):uint()
    if (first == 0x0F and (n == 2 or n == 3 or n == 6)) or (first == 0x0C and n == 5) then
      return PC_TO_DEVICE, true
    end
  end
  return DEVICE_TO_PC, true
end

---------------------------------------------------------------------------------------------------
-- Decoding helpers

local function bcd_digits(value, digits)
  local text = ""
  for i = digits - 1, 0, -1 do
    local nibble = bit.band(bit.rshift(value, 4 * i), 0x0F)
    text = text .. (nibble < 10 and tostring(nibble) or string.format("%X", nibble))
  end
  return text
end

local function add_mask(tree, field, bits, range)
  local item = tree:add(field, range)
  for n = 0, #bits do item:add(bits[n], range) end
  return item
end

-- A zero-terminated text of at most count bytes, as the changer's records read it.
local function fixed_text(range)
  local bytes = range:bytes()
  local text = {}
  for i = 0, bytes:len() - 1 do
    local c = bytes:get_index(i)
    if c == 0 then break end
    text[#text + 1] = (c >= 0x20 and c < 0x7F) and string.char(c) or "."
  end
  return table.concat(text)
end

local function money(units, decimals)
  if decimals == 0 then return tostring(units) end
  local scale = 10 ^ decimals
  return string.format("%d.%0" .. decimals .. "d", math.floor(units / scale), units % scale)
end

---------------------------------------------------------------------------------------------------
-- PC to device

local function dissect_control(tvb, tree)
  tree:add(f.kind, "control")
  if not is_control_code(tvb) then
    tree:add_proto_expert_info(e.malformed, "A control command is 08 03 code; this is " ..
      tvb:len() .. " bytes")
    return "malformed control command"
  end
  local code = tvb(2, 1):uint()
  tree:add(f.control_code, tvb(2, 1))
  return string.format("control %d %s", code, control_names[code] or "UNKNOWN")
end

local function dissect_command(tvb, tree, key, first_pass)
  local n = tvb:len()
  local first = tvb(0, 1):uint()
  tree:add(f.kind, tvb(0, 1), "command")
  if not has_changer_header(tvb) then
    tree:add_proto_expert_info(e.header, string.format(
      "0x%02X is not a coin changer command (08..0F)", first))
    return string.format("not a changer command (0x%02X)", first)
  end
  tree:add(f.command, tvb(0, 1))
  local name = command_names[first]
  local info = name
  local expected = command_lengths[first]
  local query = nil
  if first == 0x09 then query = SETUP
  elseif first == 0x0A then query = TUBES
  elseif first == 0x0C and n >= 5 then
    add_mask(tree, f.coin_accept, accept_bits, tvb(1, 2))
    add_mask(tree, f.coin_dispense, dispense_bits, tvb(3, 2))
    info = string.format("%s accept %04X dispense %04X", name, tvb(1, 2):uint(), tvb(3, 2):uint())
  elseif first == 0x0D and n >= 2 then
    tree:add(f.dispense_coin, tvb(1, 1))
  elseif first == 0x0F then
    if n < 2 then
      tree:add_proto_expert_info(e.length, "EXPANSION without its sub-command")
      return name .. " (no sub-command)"
    end
    local sub = tvb(1, 1):uint()
    tree:add(f.subcommand, tvb(1, 1))
    info = name .. " " .. (subcommand_names[sub] or string.format("0x%02X", sub))
    expected = subcommand_lengths[sub]
    if sub == 0x00 then query = IDENT
    elseif sub == 0x01 and n >= 6 then
      add_mask(tree, f.feature_enable, enable_bits, tvb(2, 4))
      info = string.format("%s %08X", info, tvb(2, 4):uint())
    elseif sub == 0x02 and n >= 3 then
      tree:add(f.payout_units, tvb(2, 1))
      info = string.format("PAYOUT %d units", tvb(2, 1):uint())
    end
  end
  if expected and n ~= expected then
    tree:add_proto_expert_info(e.length, string.format("%s is %d bytes, not %d", info, expected, n))
    info = info .. " (wrong length)"
  end
  -- The device's next block answers the PC's last command; any other command ends the wait.
  if first_pass then pending[key] = query end
  return info
end

---------------------------------------------------------------------------------------------------
-- Device to PC

-- A poll status byte and what follows it (a deposit's or a manual dispense's tube count).
local function dissect_status(tvb, tree)
  local range = tvb(1, 1)
  local status = range:uint()
  local n = tvb:len()
  if status >= 0x40 and status < 0x80 then
    local routing = bit.rshift(bit.band(status, 0x30), 4)
    local item = tree:add(f.kind, range, "coin deposited")
    item:add(f.coin_type, range)
    item:add(f.routing, range)
    local info = string.format("deposit coin type %d to %s", bit.band(status, 0x0F),
      routing == 1 and "tube" or routing_names[routing])
    if n >= 3 then
      tree:add(f.tube_count, tvb(2, 1))
      info = info .. string.format(" (%d in tube)", tvb(2, 1):uint())
    end
    return info
  elseif status >= 0x80 then
    local item = tree:add(f.kind, range, "coins dispensed by hand")
    item:add(f.dispensed, range)
    item:add(f.coin_type, range)
    local info = string.format("manual dispense %d of coin type %d",
      bit.rshift(bit.band(status, 0x70), 4), bit.band(status, 0x0F))
    if n >= 3 then
      tree:add(f.tube_count, tvb(2, 1))
      info = info .. string.format(" (%d in tube)", tvb(2, 1):uint())
    end
    return info
  elseif status >= 0x20 then
    tree:add(f.kind, range, "poll status")
    tree:add(f.slugs, range)
    return string.format("%d slugs", bit.band(status, 0x1F))
  end
  tree:add(f.kind, range, "poll status")
  tree:add(f.status, range)
  return status_names[status] or string.format("status 0x%02X", status)
end

local function dissect_setup(tvb, tree)
  local n = tvb:len()
  if n >= 2 then tree:add(f.feature_level, tvb(1, 1)) end
  if n >= 4 then
    tree:add(f.country_code, tvb(2, 2), bcd_digits(tvb(2, 2):uint(), 4))
  end
  local scaling = n >= 5 and tvb(4, 1):uint() or 0
  local decimals = n >= 6 and tvb(5, 1):uint() or 0
  if n >= 5 then tree:add(f.scaling_factor, tvb(4, 1)) end
  if n >= 6 then tree:add(f.decimal_places, tvb(5, 1)) end
  if n >= 8 then add_mask(tree, f.coin_routing, routing_bits, tvb(6, 2)) end
  for coin = 0, 15 do
    if 8 + coin >= n then break end
    local range = tvb(8 + coin, 1)
    tree:add(f.coin_credit, range):set_text(string.format("Coin type %d credit: %d (value %s)",
      coin, range:uint(), money(range:uint() * scaling, math.min(decimals, 9))))
  end
  if n >= 6 then
    return string.format("(scaling %d, %d decimals)", scaling, decimals)
  end
  return ""
end

local function dissect_tubes(tvb, tree)
  local n = tvb:len()
  if n >= 3 then add_mask(tree, f.tube_full, full_bits, tvb(1, 2)) end
  local counts = {}
  for coin = 0, 15 do
    if 3 + coin >= n then break end
    local range = tvb(3 + coin, 1)
    tree:add(f.tube_count, range):set_text(string.format("Coin type %d tube: %d coins", coin,
      range:uint()))
    counts[#counts + 1] = range:uint()
  end
  return #counts > 0 and ("(" .. table.concat(counts, ",") .. ")") or ""
end

local function dissect_ident(tvb, tree)
  local n = tvb:len()
  local info = ""
  if n >= 4 then
    local text = fixed_text(tvb(1, 3))
    tree:add(f.manufacturer, tvb(1, 3), text)
    info = text
  end
  if n >= 16 then
    local text = fixed_text(tvb(4, 12))
    tree:add(f.serial, tvb(4, 12), text)
    info = info .. " " .. text
  end
  if n >= 28 then tree:add(f.model, tvb(16, 12), fixed_text(tvb(16, 12))) end
  if n >= 30 then
    tree:add(f.software_version, tvb(28, 2), bcd_digits(tvb(28, 2):uint(), 4))
  end
  if n >= 34 then
    local item = add_mask(tree, f.optional_features, feature_bits, tvb(30, 4))
    local present = {}
    local value = tvb(30, 4):uint()
    for bitno = 0, 3 do
      if bit.band(value, 2 ^ bitno) ~= 0 then present[#present + 1] = feature_names[bitno] end
    end
    item:append_text(#present > 0 and (" (" .. table.concat(present, ", ") .. ")") or " (none)")
  end
  return info
end

local response_dissectors = { [SETUP] = dissect_setup, [TUBES] = dissect_tubes,
  [IDENT] = dissect_ident }

-- A response block: the query it answers comes from the conversation, or else from its length.
local function dissect_response(tvb, tree, answers)
  local n = tvb:len()
  local expected = response_lengths[answers]
  tree:add(f.answers, tvb(0, 1), answers)
  tree:add(f.kind, tvb(0, 1), "response")
  local info = answers .. " response"
  local detail = response_dissectors[answers](tvb, tree)
  if detail ~= "" then info = info .. " " .. detail end
  if n < expected then
    tree:add_proto_expert_info(e.short, string.format("%s response is %d bytes, not %d",
      answers, n, expected))
    info = info .. string.format(" (short: %d of %d bytes)", n, expected)
  elseif n > expected then
    tree:add(f.extra, tvb(expected))
  end
  return info
end

local function dissect_report(tvb, tree, key, state)
  local n = tvb:len()
  tree:add(f.header, tvb(0, 1))
  if not has_changer_header(tvb) then
    tree:add(f.kind, tvb(0, 1), "wrong header")
    tree:add_proto_expert_info(e.header, string.format(
      "0x%02X is not a changer address (08..0F): the PC ignores this datagram",
      tvb(0, 1):uint()))
    if n > 1 then tree:add(f.data, tvb(1)) end
    return string.format("wrong header 0x%02X", tvb(0, 1):uint())
  end
  if n == 1 then
    tree:add(f.kind, tvb(0, 1), "tick")
    return "tick"
  end
  if state.answers == nil then
    -- First pass: decide what this datagram answers, and settle the conversation's query.
    local query = pending[key]
    if n >= 8 then
      state.answers = query or response_by_length[n] or false
    elseif n > 2 and query and not (n == 3 and tvb(1, 1):uint() >= 0x40) then
      state.answers = query -- an answer cut short
    else
      state.answers = false
    end
    if state.answers then pending[key] = nil end
  end
  if state.answers then return dissect_response(tvb, tree, state.answers) end
  if n >= 8 then
    tree:add(f.kind, tvb(0, 1), "unknown block")
    tree:add_proto_expert_info(e.unknown, string.format(
      "a %d-byte block that answers no query seen and has no known length", n))
    tree:add(f.data, tvb(1))
    return string.format("unknown %d-byte block", n)
  end
  local info = dissect_status(tvb, tree)
  local status = tvb(1, 1):uint()
  if n > 3 or (n == 3 and status < 0x40) then
    tree:add_proto_expert_info(e.length, string.format(
      "a %d-byte report; the PC reads only its status byte", n))
    info = info .. string.format(" (%d bytes)", n)
  end
  return info
end

---------------------------------------------------------------------------------------------------
-- Entry point

local function dissect(tvb, pinfo, tree)
  local n = tvb:len()
  local src, dst = tostring(pinfo.src), tostring(pinfo.dst)
  local key = conversation_key(src, dst)
  local comm, control = lx.prefs.comm_port, lx.prefs.control_port
  local on_control = (pinfo.dst_port == control or pinfo.src_port == control) and
      pinfo.dst_port ~= comm and pinfo.src_port ~= comm

  local state = frames[pinfo.number]
  local first_pass = state == nil
  if first_pass then
    state = {}
    state.direction, state.guessed = find_direction(tvb, src, dst, on_control, key)
    frames[pinfo.number] = state
  end

  local subtree = tree:add(lx, tvb())
  subtree:add(f.direction, state.direction)
  subtree:add(f.channel, on_control and "control" or "communication")
  if state.guessed then
    subtree:add_proto_expert_info(e.guessed,
      "no control traffic and no device address preference tell which side is the device")
  end

  local info
  if on_control and state.direction == DEVICE_TO_PC then
    subtree:add_proto_expert_info(e.control_from_device,
      "the PC uses nothing it receives on the control port")
    subtree:add(f.kind, "from the device on the control port")
    if n > 0 then subtree:add(f.data, tvb()) end
    info = string.format("%d bytes on the control port (dropped by the PC)", n)
  elseif n == 0 then
    subtree:add(f.kind, "empty")
    subtree:add_proto_expert_info(e.empty, "an empty datagram carries nothing")
    info = "empty datagram"
  elseif n > MAX_DATAGRAM then
    subtree:add_proto_expert_info(e.oversize, string.format(
      "%d bytes: the PC reads at most %d, so this datagram is lost", n, MAX_DATAGRAM))
    subtree:add(f.kind, "oversized")
    info = string.format("oversized datagram (%d bytes)", n)
  elseif on_control then
    info = dissect_control(tvb, subtree)
  elseif state.direction == PC_TO_DEVICE then
    info = dissect_command(tvb, subtree, key, first_pass)
  else
    info = dissect_report(tvb, subtree, key, state)
  end
  pinfo.cols.protocol = "LX5200E"
  local summary = ARROW[state.direction] .. " " .. info
  pinfo.cols.info = summary
  subtree:add(f.summary, summary):set_generated()
  subtree:append_text(": " .. info)
  return n
end

function lx.dissector(tvb, pinfo, tree)
  local ok, err = pcall(dissect, tvb, pinfo, tree)
  if not ok then
    -- A fault of this dissector must not hide the frame: say so and go on.
    tree:add_proto_expert_info(e.fault, "lx5200e dissector fault: " .. tostring(err))
    pinfo.cols.protocol = "LX5200E"
  end
  return tvb:len()
end

-- UDP hands an empty payload to no dissector, yet an empty datagram is a fault worth seeing: a
-- small post-dissector shows those on the device's ports.
local lx_empty = Proto("lx5200e_empty", "LX-5200-E empty datagram")
local udp_length = Field.new("udp.length")

function lx_empty.dissector(tvb, pinfo, tree)
  local length = udp_length()
  if not length or length.value ~= 8 then return end
  local ports = { [lx.prefs.comm_port] = true, [lx.prefs.control_port] = true }
  if not (ports[pinfo.src_port] or ports[pinfo.dst_port]) then return end
  lx.dissector(ByteArray.new():tvb("Empty datagram"), pinfo, tree)
end

register_postdissector(lx_empty)
register_ports()
