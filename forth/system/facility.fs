\ FACILITY: the screen, time, keyboard events, and structures.

: page      ( -- )  (page) throw ;
: at-xy     ( u1 u2 -- )  2 ?depth (atxy) throw ;          \ column, row
: at-xy?    ( -- u1 u2 )  (atxy?) throw ;         \ where the cursor is
: screen-size ( -- u1 u2 )  (atmax) throw ;       \ columns, rows
: color!    ( x -- )  (color!) throw ;            \ foreground, background
: color@    ( -- x )  (color@) throw ;
: emit?     ( -- flag )  (emit?) throw ;
: ms        ( u -- )  (waitms) throw ;
: time&date ( -- +n1 +n2 +n3 +n4 +n5 +n6 )   \ second minute hour day month year
  (time@) throw >r >r >r drop r> r> r>  (date@) throw ;
: ticks     ( -- u )  (systick) throw drop ;      \ milliseconds, wrapping

\ Keyboard events. EKEY gives a character as itself; the keys that a
\ terminal sends as escape sequences (ESC [ ... or ESC O ...) come as
\ key codes with bit 30 set, and the modifier masks added.
$40000000 constant special-key
: key:  ( n "<spaces>name" -- )  special-key or constant ;
1 key: k-left      2 key: k-right     3 key: k-up       4 key: k-down
5 key: k-home      6 key: k-end       7 key: k-prior    8 key: k-next
9 key: k-insert    10 key: k-delete   11 key: k-f1      12 key: k-f2
13 key: k-f3       14 key: k-f4       15 key: k-f5      16 key: k-f6
17 key: k-f7       18 key: k-f8       19 key: k-f9      20 key: k-f10
21 key: k-f11      22 key: k-f12      127 key: k-unknown
$01000000 constant k-shift-mask
$02000000 constant k-alt-mask
$04000000 constant k-ctrl-mask

variable pending-key   \ a key read ahead after ESC, or -1
: next-key  ( -- char )  pending-key @ dup 0< if drop key exit then  -1 pending-key ! ;
: key-soon? ( -- flag )   \ a key comes within 50 ms
  pending-key @ 0< 0= if true exit then
  50 0 do key? if unloop true exit then 1 ms loop key? ;

\ ESC [ p1 ; p2 final: p1 picks among the keys that end in ~, p2 - 1 is
\ the modifiers (1 shift, 2 alt, 4 control).
: csi       ( -- p1 p2 char )
  -1 0 begin next-key
    dup [char] 0 - 10 u< if [char] 0 - swap 10 * + false else
    dup [char] ; = if drop nip 0 false else true then then
  until >r over 0< if nip 0 then r> ;
: modifiers ( p2 -- mask )  dup 2 < if drop 0 exit then 1- 7 and 24 lshift ;
: tilde-key ( n -- key | 0 )
  case
    1 of k-home endof    2 of k-insert endof   3 of k-delete endof
    4 of k-end endof     5 of k-prior endof    6 of k-next endof
    7 of k-home endof    8 of k-end endof      15 of k-f5 endof
    17 of k-f6 endof     18 of k-f7 endof      19 of k-f8 endof
    20 of k-f9 endof     21 of k-f10 endof     23 of k-f11 endof
    24 of k-f12 endof    0 swap
  endcase ;
: final-key ( p1 char -- key | 0 )
  case
    [char] A of drop k-up endof      [char] B of drop k-down endof
    [char] C of drop k-right endof   [char] D of drop k-left endof
    [char] H of drop k-home endof    [char] F of drop k-end endof
    [char] P of drop k-f1 endof      [char] Q of drop k-f2 endof
    [char] R of drop k-f3 endof      [char] S of drop k-f4 endof
    [char] ~ of tilde-key endof
    nip 0 swap
  endcase ;
: escape-key ( -- x )   \ after ESC: the key of a sequence, or ESC itself
  key-soon? 0= if 27 exit then
  next-key dup [char] [ = over [char] O = or 0= if pending-key ! 27 exit then drop
  csi >r swap r> final-key  ?dup 0= if drop k-unknown exit then  swap modifiers or ;

: ekey      ( -- x )  next-key dup 27 = if drop escape-key then ;
: ekey?     ( -- flag )  pending-key @ 0< 0= key? or ;
: ekey>char ( x -- x false | char true )  dup 256 u< ;
: ekey>fkey ( x -- u flag )  dup special-key and 0<> ;

\ Structures. A field is compiled as LIT offset +, which folds into an
\ address that is known.
: begin-structure ( "<spaces>name" -- struct-sys 0 )  create here 0 0 , does> @ ;
: end-structure   ( struct-sys +n -- )  swap ! ;
: +field  ( n1 n2 "<spaces>name" -- n3 )
  over parse-name header, start-code literal, ['] + compile, exit, inline-latest reveal + ;
: field:  ( n1 "<spaces>name" -- n2 )  aligned 1 cells +field ;
: cfield: ( n1 "<spaces>name" -- n2 )  1 chars +field ;
