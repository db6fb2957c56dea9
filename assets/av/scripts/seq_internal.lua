-- The table of sequence builders and small helpers the sequence scripts share.
SEQUENCES = SEQUENCES or {}

-- A step holding one modifier; returns the modifier.
function seq_single(seq, kind, fourth, fifth)
  local step = Step_Create(seq)
  return Modifier_Create(kind, seq, step, fourth, fifth)
end

-- Moves `elem` from (fx, fy) to (tx, ty) in `ms` milliseconds within `step`.
function seq_move(seq, step, elem, fx, fy, tx, ty, ms)
  local m = Modifier_Create(1, seq, step, elem)
  Modifier_Props(m, 2, fx, fy)
  Modifier_Props(m, 3, tx, ty)
  Modifier_Props(m, 4, ms)
  return m
end
-- The logo sequence shown over the log-in screen at start: the logo video
-- slides in from the top, plays once, the caption appears, then all of it
-- leaves. A click skips it.
function SEQUENCES.logo(screen_w, screen_h)
  screen_w = screen_w or 1024
  screen_h = screen_h or 768
  local seq = Sequence_Create()
  local video = Element_Create(SEQ_ELEM_VIDEO, "lobby.video.logo")
  local caption = Element_Create(SEQ_ELEM_TEXT, "VORLANE", 0)
  local x = math.floor((screen_w - 256) / 2)
  local y = 56  -- above the log-in panel, below the title line
  if video then
    Element_Props(video, SEQ_PROP_POSITION, x, -128)
    local step = Step_Create(seq)
    seq_move(seq, step, video, x, -128, x, y, 600)
    step = Step_Create(seq)
    local play = Modifier_Create(SEQ_MOD_PLAY, seq, step, video)
    Modifier_Props(play, SEQ_PROP_LOOP, false)
  end
  if caption then
    Element_Props(caption, SEQ_PROP_VISIBLE, false)
    local step = Step_Create(seq)
    Modifier_Create(SEQ_MOD_TEXT, seq, step, caption, "VORLANE LOBBY")
    Element_Props(caption, SEQ_PROP_POSITION, x + 78, y + 132)
    Modifier_Create(SEQ_MOD_WAIT, seq, step, 1200)
  end
  if video then
    local step = Step_Create(seq)
    seq_move(seq, step, video, x, y, x, -200, 500)
    if caption then Modifier_Create(SEQ_MOD_TEXT, seq, step, caption, "") end
  end
  return seq
end
