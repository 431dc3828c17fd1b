-- Loaded by bench/run into mpv: at the end, the pictures mpv dropped, as "key value" lines
-- on standard output (its own messages are silenced).
local dropped, decoderDropped = 0, 0
mp.observe_property("frame-drop-count", "number", function(_, v) if v then dropped = v end end)
mp.observe_property("decoder-frame-drop-count", "number",
  function(_, v) if v then decoderDropped = v end end)
mp.register_event("shutdown", function()
  io.stdout:write(string.format("mpv_dropped %d\nmpv_decoder_dropped %d\n", dropped,
    decoderDropped))
end)
