-- Run by ardour7-lua (ardour_render.sh): a new session with a MIDI track whose
-- instrument is the LV2 Morvelith (by URI), its output recorded by an audio
-- track while Ardour rolls on its headless dummy engine and a note is played
-- into the MIDI track; prints the recorded region's peak and RMS.
local dir = assert(os.getenv("MORVELITH_SESSION_DIR"))
local uri = "urn:morvelith:instrument"

local s = create_session(dir, "lv2render", 48000)
if not s then print("FAIL: no session"); os.exit(1) end
local info = ARDOUR.LuaAPI.new_plugin_info(uri, ARDOUR.PluginType.LV2)
if info:isnil() then print("FAIL: Ardour does not list " .. uri); close_session(); os.exit(1) end

local synths = s:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
  ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1, "Morvelith",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local synth = synths:front()
local instrument = synth:the_instrument()
if instrument:isnil() then print("FAIL: the track has no instrument"); close_session(); os.exit(1) end
print("instrument: " .. instrument:display_name())

-- The capture track records what the synth track puts out.
local captures = s:new_audio_track(2, 2, nil, 1, "Capture", ARDOUR.PresentationInfo.max_order,
  ARDOUR.TrackMode.Normal, true)
local capture = captures:front()
capture:input():disconnect_all(nil)
for c = 0, 1 do synth:output():audio(c):connect(capture:input():audio(c):name()) end
capture:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
s:maybe_enable_record(false)
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)

local midi = synth:to_track():to_midi_track()
local on = C.ByteVector(); on:add({0x90, 57, 110})
local off = C.ByteVector(); off:add({0x80, 57, 0})
os.execute("sleep 0.3")
if not s:actively_recording() then print("FAIL: Ardour is not recording"); close_session(); os.exit(1) end
midi:write_immediate_event(Evoral.EventType.MIDI_EVENT, 3, on:to_array())
os.execute("sleep 1.0")
midi:write_immediate_event(Evoral.EventType.MIDI_EVENT, 3, off:to_array())
os.execute("sleep 0.5")
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
os.execute("sleep 1.0")
s:save_state("", false, false, false, false, false)

local regions = capture:to_track():playlist():region_list()
print("recorded regions: " .. regions:size())
for r in regions:iter() do
  local audio = r:to_audioregion()
  print(string.format("region %s frames %d peak %.6f rms %.6f", r:name(), r:length():samples(),
    audio:maximum_amplitude(nil), audio:rms(nil)))
end
io.stdout:flush()
close_session()
