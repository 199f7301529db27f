ardour {
	["type"]    = "dsp",
	name        = "VarnKit Test Hits",
	category    = "Utility",
	license     = "MIT",
	author      = "VarnKit",
	description = [[Note-ons at set session frames, for an instrument after it on the track.]]
}

local HITS = 3

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } }
end

function dsp_params ()
	local p = {}
	for i = 1, HITS do
		p[#p + 1] = { ["type"] = "input", name = "Hit " .. i .. " frame", min = -1, max = 1e7, default = -1, integer = true }
		p[#p + 1] = { ["type"] = "input", name = "Hit " .. i .. " note", min = 0, max = 127, default = 36, integer = true }
		p[#p + 1] = { ["type"] = "input", name = "Hit " .. i .. " velocity", min = 1, max = 127, default = 127, integer = true }
	end
	return p
end

-- The transport frame of a block's first frame is the session's frame of that block only
-- while the track has no playback latency, which the session script makes sure of.
function dsp_run (_, _, n_samples)
	if not Session:transport_rolling () then return end
	local first = Session:transport_sample ()
	local ctrl = CtrlPorts:array ()
	local n = 1
	for i = 0, HITS - 1 do
		local at = math.floor (ctrl[3 * i + 1]) - first
		if at >= 0 and at < n_samples then
			-- times in midiout count from 1
			midiout[n] = { time = at + 1, data = { 0x90, math.floor (ctrl[3 * i + 2]), math.floor (ctrl[3 * i + 3]) } }
			n = n + 1
		end
	end
end
