\ The system's start: what COLD does once the argument text is in place.

: system-start  ( -- )
  heap-init  -1 pending-key !  0 substitutions !
  (start-up) ;
' system-start is start-up
