-- Wireshark dissector for the Veltra field bus.
--
-- Dissects the bus frames that veltra and veltra-cli capture (and any UDP
-- traffic of a bus switch):
--   * UDP datagrams on ports 2001 and 2002 (the bus switch's and the
--     console's default ports), and on any other port through a heuristic:
--     55 AA, a Length that matches the datagram, a valid checksum;
--   * serial captures: LINKTYPE_USER0 records of one direction byte (0 sent
--     by the console, 1 received) followed by the bytes of the line.
--
-- Frame: 55 AA, Length (whole frame), [Subnet ID hi lo], Address, Class,
-- Command, parameters (a reply's first one is its Status), Checksum hi lo
-- (sum of bytes 0 .. Length-3, XOR 0x55AA). Every field is filterable under
-- "veltra.", e.g. veltra.status != 1 for every failed request.
--
-- Enable: copy (or link) this file into Wireshark's personal Lua plugins
-- folder (~/.local/lib/wireshark/plugins/), or run
--   tshark -X lua_script:/usr/share/veltra/wireshark/veltra.lua -r FILE

local veltra = Proto("veltra", "Veltra field bus")

-- Names --------------------------------------------------------------------

local CLASS_NAMES = {[0] = "System", [1] = "Curtain", [2] = "Light", [3] = "Infrared"}
local CLASS_VALUES = {}
for class, name in pairs(CLASS_NAMES) do
  CLASS_VALUES[class] = name
  CLASS_VALUES[class + 0x80] = name .. " reply"
end

local COMMAND_NAMES = {
  [0] = {[0] = "SetAddress", "BindInput", "SetScene", "ClearScene", "TestScene", "ReadAddress",
         "ReadModuleType", "ReadVersion", "ReadStatus", "TestModule", "Restore"},
  [1] = {[0] = "SetTravelTime", "Open", "Close", "Stop", "OpenAll", "CloseAll", "StopAll"},
  [2] = {[0] = "SetOnTime", "On", "Off", "Toggle", "AllOn", "AllOff"},
  [3] = {[0] = "LearnOn", "LearnOff", "DeleteCode", "DeleteAllCodes", "SendCode"},
}

local SYS = {SetAddress = 0, BindInput = 1, SetScene = 2, ClearScene = 3, TestScene = 4, ReadAddress = 5,
             ReadModuleType = 6, ReadVersion = 7, ReadStatus = 8}

-- The console's status words; every other Status is "Response error!".
local STATUS_WORDS = {[1] = "OK!", [2] = "Module address is out of range!",
                      [3] = "Device address is out of range!", [4] = "Memory error!",
                      [5] = "Parameter error!", [6] = "Command error!", [7] = "Module address is occupied"}
local function status_word(status) return STATUS_WORDS[status] or "Response error!" end

local CHANNEL_CODES = {[0] = "OFF", [1] = "ON", [255] = "No Change"}
local CONTROL_MODES = {[0] = "Button", [1] = "Switch"}
local DIRECTIONS = {[0] = "Sent", [1] = "Received"}

-- A reply carries its request's class with bit 7 set; it is named after the
-- request.
local function command_name(class, command)
  local names = COMMAND_NAMES[class % 0x80]
  return (names and names[command]) or ("Class " .. (class % 0x80) .. " Command " .. command)
end

-- Fields -------------------------------------------------------------------

local f = {
  direction = ProtoField.uint8("veltra.direction", "Direction", base.DEC, DIRECTIONS),
  header = ProtoField.uint16("veltra.header", "Header", base.HEX),
  length = ProtoField.uint8("veltra.length", "Length", base.DEC),
  form = ProtoField.string("veltra.form", "Form"),
  subnet = ProtoField.uint16("veltra.subnet", "Subnet ID", base.DEC),
  address = ProtoField.uint8("veltra.address", "Address", base.DEC),
  class = ProtoField.uint8("veltra.class", "Class", base.HEX, CLASS_VALUES),
  reply = ProtoField.bool("veltra.reply", "Reply"),
  command = ProtoField.uint8("veltra.command", "Command", base.DEC),
  command_name = ProtoField.string("veltra.command_name", "Command name"),
  status = ProtoField.uint8("veltra.status", "Status", base.DEC, STATUS_WORDS),
  status_word = ProtoField.string("veltra.status_word", "Status word"),
  filler = ProtoField.uint8("veltra.filler", "Filler", base.DEC),
  new_address = ProtoField.uint8("veltra.new_address", "New address", base.DEC),
  output = ProtoField.uint8("veltra.output", "Output", base.DEC),
  turn_on_time = ProtoField.uint16("veltra.turn_on_time", "Turn-on time (s)", base.DEC),
  travel_time = ProtoField.uint16("veltra.travel_time", "Travel time (0.1 s)", base.DEC),
  travel_time_ms = ProtoField.uint16("veltra.travel_time_ms", "Travel time (ms)", base.DEC),
  scene = ProtoField.uint8("veltra.scene", "Scene", base.DEC),
  channel = ProtoField.uint8("veltra.channel", "Channel", base.DEC, CHANNEL_CODES),
  input = ProtoField.uint8("veltra.input", "Input", base.DEC),
  mode = ProtoField.uint8("veltra.mode", "Control mode", base.DEC, CONTROL_MODES),
  target_class = ProtoField.uint8("veltra.target_class", "Target class", base.DEC, CLASS_NAMES),
  target_command = ProtoField.uint8("veltra.target_command", "Target command", base.DEC),
  target_address = ProtoField.uint8("veltra.target_address", "Target address", base.DEC),
  target_output = ProtoField.uint8("veltra.target_output", "Target output", base.DEC),
  parameter = ProtoField.uint8("veltra.parameter", "Parameter", base.DEC),
  ir_bank = ProtoField.uint8("veltra.ir_bank", "Infrared P1", base.DEC),
  ir_code = ProtoField.uint8("veltra.ir_code", "IR code", base.DEC),
  module_address = ProtoField.uint8("veltra.module_address", "Module address", base.DEC),
  module_type = ProtoField.uint16("veltra.module_type", "Module type", base.HEX),
  version = ProtoField.string("veltra.version", "Software version"),
  states_valid = ProtoField.uint8("veltra.states_valid", "Output states follow", base.DEC),
  output_state = ProtoField.uint8("veltra.output_state", "Output state", base.HEX),
  rec_subnet = ProtoField.uint16("veltra.switch.subnet", "Bus switch subnet ID", base.DEC),
  rec_ip = ProtoField.ipv4("veltra.switch.ip", "Bus switch IP"),
  rec_port = ProtoField.uint16("veltra.switch.port", "Bus switch port", base.DEC),
  rec_mask = ProtoField.ipv4("veltra.switch.mask", "Bus switch mask"),
  rec_gateway = ProtoField.ipv4("veltra.switch.gateway", "Bus switch gateway"),
  rec_server_ip = ProtoField.ipv4("veltra.switch.server_ip", "Server IP"),
  rec_server_port = ProtoField.uint16("veltra.switch.server_port", "Server port", base.DEC),
  rec_mac = ProtoField.ether("veltra.switch.mac", "Bus switch MAC"),
  parameters = ProtoField.bytes("veltra.parameters", "Parameters"),
  checksum = ProtoField.uint16("veltra.checksum", "Checksum", base.HEX),
  checksum_ok = ProtoField.bool("veltra.checksum.ok", "Checksum holds"),
  not_frame = ProtoField.bytes("veltra.not_frame", "Bytes that are not a frame"),
}
local field_list = {}
for _, field in pairs(f) do field_list[#field_list + 1] = field end
veltra.fields = field_list

local e = {
  bad_checksum = ProtoExpert.new("veltra.checksum.bad", "Checksum does not hold",
                                 expert.group.CHECKSUM, expert.severity.WARN),
  truncated = ProtoExpert.new("veltra.truncated", "Frame shorter than its Length",
                              expert.group.MALFORMED, expert.severity.ERROR),
  not_frame = ProtoExpert.new("veltra.not_frame.expert", "Bytes that are not a frame",
                              expert.group.MALFORMED, expert.severity.WARN),
  long_reply = ProtoExpert.new("veltra.length.clamped", "A receiver reads a Length above 78 as 78",
                               expert.group.PROTOCOL, expert.severity.NOTE),
  failed = ProtoExpert.new("veltra.status.failed", "Request failed",
                           expert.group.RESPONSE_CODE, expert.severity.NOTE),
}
veltra.experts = {e.bad_checksum, e.truncated, e.not_frame, e.long_reply, e.failed}

veltra.prefs.serial_routed = Pref.bool("Routed frames on the serial line", false,
  "The console's monitor mode: requests and replies on the serial line in the routed form")

-- Frame form ----------------------------------------------------------------
--
-- The console never looks at a frame's content to tell its form: the link
-- decides. Its decoder reads every reply routed over UDP and direct on the
-- serial line (routed there only in monitor mode: the preference above). Its
-- requests follow the same rule except two families whose builders fix the
-- form: infrared requests are always direct, also over UDP, and bus switch
-- requests are always routed, also on the serial line. A capture carries
-- only bytes, so those two are recognised by bytes they always have:
--   * an infrared request is 10 bytes long with Class 3 at offset 4 and
--     P1 = 1 at offset 6; read as routed it would be a curtain command
--     (Class 1 at offset 6) without parameters, which the console never
--     sends, and no routed reply is that short (it carries a Status);
--   * a bus switch request has Address 255 at offset 5; in a direct request
--     offset 5 is the Command, and no command number is 255.

local function link_routed(on_serial)
  return (not on_serial) or veltra.prefs.serial_routed
end

local function is_direct_infrared(buf, at, length)
  return length == 10 and buf:len() >= at + 7 and buf(at + 4, 1):uint() == 3 and buf(at + 6, 1):uint() == 1
end

local function is_routed_bus_switch_request(buf, at, length)
  return length >= 10 and buf:len() >= at + 6 and buf(at + 5, 1):uint() == 0xFF
end

-- received: known to have come from the bus (serial records say so; a
-- datagram's direction is not known, and is passed as false).
local function routed_form(buf, at, length, on_serial, received)
  if link_routed(on_serial) then
    return received or not is_direct_infrared(buf, at, length)
  end
  -- Direct line: what the console receives is read direct, what it sends
  -- is direct unless it addresses the bus switch.
  return (not received) and is_routed_bus_switch_request(buf, at, length)
end

-- Checksum -------------------------------------------------------------------

local function frame_checksum(buf, at, length)
  local sum = 0
  for i = 0, length - 3 do sum = sum + buf(at + i, 1):uint() end
  return bit.bxor(sum, 0x55AA)
end

-- Parameters -----------------------------------------------------------------

-- An output or input number, counted from 1; 255 is "every one".
local function add_number_from_one(tree, field, buf, at, label)
  local byte = buf(at, 1):uint()
  if byte == 0xFF then
    tree:add(f.filler, buf(at, 1)):set_text(label .. ": every one (255)")
  else
    tree:add(field, buf(at, 1), byte + 1):set_text(label .. ": " .. (byte + 1) .. " (sent as " .. byte .. ")")
  end
end

local function add_filler(tree, buf, at, what)
  tree:add(f.filler, buf(at, 1)):append_text(" (" .. what .. ")")
end

local function add_bus_switch_record(tree, buf, at)
  local rec = tree:add(veltra, buf(at, 28), "Bus switch record")
  rec:add(f.rec_subnet, buf(at, 2))
  rec:add(f.rec_ip, buf(at + 2, 4))
  rec:add(f.rec_port, buf(at + 6, 2))
  rec:add(f.rec_mask, buf(at + 8, 4))
  rec:add(f.rec_gateway, buf(at + 12, 4))
  rec:add(f.rec_server_ip, buf(at + 16, 4))
  rec:add(f.rec_server_port, buf(at + 20, 2))
  rec:add(f.rec_mac, buf(at + 22, 6))
end

local function add_output_time(tree, buf, p, n, class)
  add_number_from_one(tree, f.output, buf, p, "Output")
  if n < 3 then return end
  local value = buf(p + 1, 2):uint()
  if class == 2 then
    tree:add(f.turn_on_time, buf(p + 1, 2)):set_text("Turn-on time: " .. value .. " s")
  else
    -- The window counts tenths of a second; the frame carries milliseconds.
    tree:add(f.travel_time, buf(p + 1, 2), math.floor(value / 100)):set_text(
      string.format("Travel time: %d tenths of a second (%.1f s)", math.floor(value / 100), value / 1000))
    tree:add(f.travel_time_ms, buf(p + 1, 2)):set_text("Travel time on the wire: " .. value .. " ms")
  end
end

local function dissect_request(tree, buf, class, command, p, n, routed, subnet, address)
  if n <= 0 then return end
  if class == 0 then
    if command == SYS.SetAddress and routed and subnet == 0xFFFF and address == 0xFF and n >= 28 then
      add_bus_switch_record(tree, buf, p)
    elseif command == SYS.SetAddress then
      tree:add(f.new_address, buf(p, 1))
    elseif command == SYS.BindInput and n >= 7 then
      add_number_from_one(tree, f.input, buf, p, "Input")
      if buf(p + 1, 1):uint() == 0xFF then
        tree:add(f.filler, buf(p + 1, 6), 0xFF):set_text("Binding cleared (255 in every position)")
        return
      end
      tree:add(f.mode, buf(p + 1, 1))
      local target_class = buf(p + 2, 1):uint()
      tree:add(f.target_class, buf(p + 2, 1))
      tree:add(f.target_command, buf(p + 3, 1)):append_text(
        " (" .. command_name(target_class, buf(p + 3, 1):uint()) .. ")")
      tree:add(f.target_address, buf(p + 4, 1))
      add_number_from_one(tree, f.target_output, buf, p + 5, "Target output")
      tree:add(f.parameter, buf(p + 6, 1))
    elseif command == SYS.SetScene then
      tree:add(f.scene, buf(p, 1))
      for k = 1, n - 1 do
        tree:add(f.channel, buf(p + k, 1)):prepend_text("CH" .. k .. " ")
      end
    elseif command == SYS.ClearScene then
      tree:add(f.scene, buf(p, 1))
    elseif command == SYS.TestScene and n >= 2 then
      add_filler(tree, buf, p, "no module")
      tree:add(f.scene, buf(p + 1, 1))
    else
      tree:add(f.parameters, buf(p, n))
    end
  elseif (class == 1 or class == 2) and n >= 2 then
    if command == 0 then
      add_output_time(tree, buf, p, n, class)
    else
      add_number_from_one(tree, f.output, buf, p, "Output")
      add_filler(tree, buf, p + 1, "no parameter")
    end
  elseif class == 3 and n >= 2 then
    tree:add(f.ir_bank, buf(p, 1))
    if command == 2 or command == 4 then
      tree:add(f.ir_code, buf(p + 1, 1))
    else
      add_filler(tree, buf, p + 1, "no code")
    end
  else
    tree:add(f.parameters, buf(p, n))
  end
end

local function dissect_reply(tree, buf, class, command, p, n, routed, subnet, address)
  -- Only successful replies to system requests carry results.
  if class ~= 0x80 or n <= 0 then
    if n > 0 then tree:add(f.parameters, buf(p, n)) end
    return
  end
  if command == SYS.ReadStatus then
    tree:add(f.states_valid, buf(p, 1))
    if buf(p, 1):uint() ~= 1 then
      if n > 1 then tree:add(f.parameters, buf(p + 1, n - 1)) end
      return
    end
    for k = 1, n - 1 do
      local state = buf(p + k, 1):uint()
      tree:add(f.output_state, buf(p + k, 1)):set_text(
        "Output " .. k .. ": " .. (bit.band(state, 1) == 1 and "on" or "off") ..
        string.format(" (0x%02x)", state))
    end
  elseif command == SYS.ReadAddress and routed and subnet == 0xFFFF and address == 0xFF and n >= 28 then
    add_bus_switch_record(tree, buf, p)
  elseif command == SYS.ReadAddress then
    tree:add(f.module_address, buf(p, 1))
  elseif command == SYS.ReadModuleType and n >= 2 then
    tree:add(f.module_type, buf(p, 2))
  elseif command == SYS.ReadVersion then
    -- The console shows the text up to its first zero byte.
    local text = buf(p, n):string()
    local zero = text:find("\0", 1, true)
    if zero then text = text:sub(1, zero - 1) end
    tree:add(f.version, buf(p, n), text)
  else
    tree:add(f.parameters, buf(p, n))
  end
end

-- One frame ------------------------------------------------------------------

local MIN_DIRECT = 8
local MIN_ROUTED = 10

-- Dissects the frame at offset at; returns the bytes it takes (0 when there
-- is no frame there) and a summary for the Info column.
local function dissect_frame(buf, at, pinfo, tree, on_serial, received)
  local left = buf:len() - at
  if left < 3 or buf(at, 2):uint() ~= 0x55AA or buf(at + 2, 1):uint() < MIN_DIRECT then return 0 end
  local length = buf(at + 2, 1):uint()
  local routed = routed_form(buf, at, length, on_serial, received) and length >= MIN_ROUTED
  local taken = math.min(length, left)
  local frame = tree:add(veltra, buf(at, taken))
  frame:add(f.header, buf(at, 2))
  local length_item = frame:add(f.length, buf(at + 2, 1))
  if length > left then
    length_item:add_proto_expert_info(e.truncated, "Frame shorter than its Length: " .. left .. " of " .. length .. " bytes")
    frame:add(f.parameters, buf(at, left))
    frame:set_text("Veltra field bus, incomplete frame")
    return left, "incomplete frame"
  end
  frame:add(f.form, buf(at + 2, 1), routed and "routed" or "direct"):set_generated()

  local o = at + 3
  local subnet
  if routed then
    subnet = buf(o, 2):uint()
    frame:add(f.subnet, buf(o, 2))
    o = o + 2
  end
  local address = buf(o, 1):uint()
  local class = buf(o + 1, 1):uint()
  local command = buf(o + 2, 1):uint()
  local is_reply = class >= 0x80
  frame:add(f.address, buf(o, 1))
  frame:add(f.class, buf(o + 1, 1))
  frame:add(f.reply, buf(o + 1, 1), is_reply):set_generated()
  local name = command_name(class, command)
  frame:add(f.command, buf(o + 2, 1)):append_text(" (" .. name .. ")")
  frame:add(f.command_name, buf(o + 2, 1), name):set_generated()
  local p = o + 3
  local last = at + length - 3  -- last parameter byte

  local summary
  if is_reply and p <= last then
    local status = buf(p, 1):uint()
    local status_item = frame:add(f.status, buf(p, 1))
    frame:add(f.status_word, buf(p, 1), status_word(status)):set_generated()
    if status ~= 1 then status_item:add_proto_expert_info(e.failed, "Request failed: " .. status_word(status)) end
    if length > 78 then length_item:add_proto_expert_info(e.long_reply) end
    dissect_reply(frame, buf, class, command, p + 1, last - p, routed, subnet, address)
    summary = name .. " reply " .. status_word(status)
  else
    dissect_request(frame, buf, class, command, p, last - p + 1, routed, subnet, address)
    summary = name
  end
  summary = summary .. ", address " .. address .. (routed and (", subnet " .. subnet) or "")

  local stated = buf(at + length - 2, 2):uint()
  local computed = frame_checksum(buf, at, length)
  local checksum_item = frame:add(f.checksum, buf(at + length - 2, 2))
  frame:add(f.checksum_ok, buf(at + length - 2, 2), stated == computed):set_generated()
  if stated ~= computed then
    checksum_item:add_proto_expert_info(e.bad_checksum,
      string.format("Checksum does not hold: 0x%04x stated, 0x%04x computed", stated, computed))
    summary = summary .. " [bad checksum]"
  end
  frame:set_text("Veltra field bus, " .. (routed and "routed" or "direct") .. " " .. summary)
  return length, summary
end

-- Entries --------------------------------------------------------------------

local function dissect_datagram(buf, pinfo, tree)
  pinfo.cols.protocol = "Veltra"
  local taken, summary = dissect_frame(buf, 0, pinfo, tree, false, false)
  if taken == 0 then
    tree:add(f.not_frame, buf()):add_proto_expert_info(e.not_frame)
    summary = "Not a bus frame"
  elseif taken < buf:len() then
    -- A datagram carries one frame; the console ignores what follows it.
    tree:add(f.not_frame, buf(taken)):add_proto_expert_info(e.not_frame)
  end
  pinfo.cols.info = summary
  return buf:len()
end

function veltra.dissector(buf, pinfo, tree)
  return dissect_datagram(buf, pinfo, tree)
end

-- Heuristic: a datagram that is exactly one well-formed frame.
local function heuristic(buf, pinfo, tree)
  local size = buf:len()
  if size < MIN_DIRECT or buf(0, 2):uint() ~= 0x55AA then return false end
  local length = buf(2, 1):uint()
  if length ~= size or length > 200 then return false end
  if buf(length - 2, 2):uint() ~= frame_checksum(buf, 0, length) then return false end
  dissect_datagram(buf, pinfo, tree)
  return true
end

-- A serial record: direction byte, then what the line carried, which may be
-- several frames back to back, or a piece of one.
local serial = Proto("veltra_serial", "Veltra serial line")
function serial.dissector(buf, pinfo, tree)
  if buf:len() < 1 then return 0 end
  pinfo.cols.protocol = "Veltra"
  local direction = buf(0, 1):uint()
  local received = direction == 1
  tree:add(f.direction, buf(0, 1))
  local summaries = {}
  local at = 1
  while at < buf:len() do
    local taken, summary = dissect_frame(buf, at, pinfo, tree, true, received)
    if taken == 0 then
      tree:add(f.not_frame, buf(at)):add_proto_expert_info(e.not_frame)
      summaries[#summaries + 1] = "bytes that are not a frame"
      break
    end
    summaries[#summaries + 1] = summary
    at = at + taken
  end
  pinfo.cols.info = (DIRECTIONS[direction] or "?") .. ": " .. table.concat(summaries, "; ")
  return buf:len()
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(2001, veltra)
udp_port:add(2002, veltra)
veltra:register_heuristic("udp", heuristic)
DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, serial)
