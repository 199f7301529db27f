-- ardour7-lua session.lua new <session dir> <export dir> <frames> <frame:note:velocity>...
-- ardour7-lua session.lua reopen <session dir> <export dir> <frames>
-- new: a session with a MIDI track of VarnKit, given its kit by the preset "Test kit", and
-- "VarnKit Test Hits" before it playing the hits; saved, then exported. reopen: that saved
-- session exported again, nothing loaded into the plugin but what the session kept.
local mode, dir, out, frames = arg[1], arg[2], arg[3], tonumber (arg[4])
local VARNKIT = "https://varnkit.org/lv2/varnkit"

-- The Dummy back-end as set here adds no systemic latency: a block the tracks process at
-- transport frame f then goes out at session frame f, which the hits rely on.
assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no Dummy back-end")

local function varnkit_of (track)
	local insert = track:the_instrument ():to_insert ()
	assert (not insert:isnil (), "the track has no instrument")
	local plugin = insert:plugin (0)
	assert (plugin:unique_id () == VARNKIT, "the instrument is " .. plugin:unique_id ())
	return plugin
end

-- Ardour 7.3 frees some of an export's objects twice once the objects Lua holds are collected
-- or the session is closed after it exported: nothing is collected, and the script says how
-- it went on stderr, which is unbuffered, before it leaves the process as it stands.
collectgarbage ("stop")

local function run ()
	local session
	if mode == "new" then
		session = assert (create_session (dir, "hits", 44100), "no session created")
		local info = ARDOUR.LuaAPI.new_plugin_info (VARNKIT, ARDOUR.PluginType.LV2)
		assert (not info:isnil (), "Ardour does not know " .. VARNKIT)
		local track = session:new_midi_track (
			ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1), ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2),
			false, info, nil, nil, 1, "Drums", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal,
			true, false):front ()
		local plugin = varnkit_of (track)
		local preset = plugin:preset_by_label ("Test kit")
		assert (preset, "Ardour lists no preset \"Test kit\" for VarnKit")
		assert (plugin:load_preset (preset), "the preset did not load")

		local hits = ARDOUR.LuaAPI.new_luaproc (session, "VarnKit Test Hits")
		assert (not hits:isnil (), "no Lua processor \"VarnKit Test Hits\"")
		-- index 0 of the plugins: before the instrument
		assert (track:add_processor_by_index (hits, 0, nil, true) == 0, "the hits were not added")
		for i = 5, #arg do
			local frame, note, velocity = arg[i]:match ("^(%d+):(%d+):(%d+)$")
			for k, value in ipairs ({ frame, note, velocity }) do
				assert (ARDOUR.LuaAPI.set_processor_param (hits, 3 * (i - 5) + k - 1, tonumber (value)))
			end
		end
		assert (session:save_state ("") == 0, "the session was not saved")
	else
		session = assert (load_session (dir, "hits"), "the session did not load")
		varnkit_of (session:route_by_name ("Drums"):to_track ())
	end

	local track = session:route_by_name ("Drums")
	assert (track:playback_latency (true) == 0, "the track plays back " .. track:playback_latency (true) .. " frames late")
	local export = session:simple_export ()
	export:set_folder (out)
	export:set_range (0, frames)
	assert (export:set_preset ("a5c9b0a7-0d61-4b39-9a57-2f4e6f2c8e02"), "no export preset for float WAV")
	assert (export:run_export (), "the export failed")
end

local ok, err = pcall (run)
io.stderr:write (ok and "session.lua: done\n" or ("session.lua failed: " .. tostring (err) .. "\n"))
AudioEngine:stop (false)  -- or it would run the session on while the process exits
os.exit (ok and 0 or 1)
