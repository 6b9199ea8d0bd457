\ The texts of the exception codes: the standard THROW codes, this
\ system's own, and the host's error numbers that services return as iors.

: message:  ( n "text<eol>" -- )  , 0 parse dup c, here swap dup allot move align ;

create messages   \ entries: code, counted text, aligned; a 0 code ends them

-1  message: aborted
-2  message: aborted
-3  message: stack overflow
-4  message: stack underflow
-5  message: return stack overflow
-6  message: return stack underflow
-7  message: do-loops nested too deeply during execution
-8  message: dictionary overflow
-9  message: invalid memory address
-10 message: division by zero
-11 message: result out of range
-12 message: argument type mismatch
-13 message: undefined word
-14 message: interpreting a compile-only word
-15 message: invalid FORGET
-16 message: attempt to use zero-length string as a name
-17 message: pictured numeric output string overflow
-18 message: parsed string overflow
-19 message: definition name too long
-20 message: write to a read-only location
-21 message: unsupported operation
-22 message: control structure mismatch
-23 message: address alignment exception
-24 message: invalid numeric argument
-25 message: return stack imbalance
-26 message: loop parameters unavailable
-27 message: invalid recursion
-28 message: user interrupt
-29 message: compiler nesting
-30 message: obsolescent feature
-31 message: >BODY used on non-CREATEd definition
-32 message: invalid name argument
-33 message: block read exception
-34 message: block write exception
-35 message: invalid block number
-36 message: invalid file position
-37 message: file I/O exception
-38 message: non-existent file
-39 message: unexpected end of file
-40 message: invalid BASE for floating point conversion
-41 message: loss of precision
-42 message: floating-point divide by zero
-43 message: floating-point result out of range
-44 message: floating-point stack overflow
-45 message: floating-point stack underflow
-46 message: floating-point invalid argument
-47 message: compilation word list deleted
-48 message: invalid POSTPONE
-49 message: search-order overflow
-50 message: search-order underflow
-51 message: compilation word list changed
-52 message: control-flow stack overflow
-53 message: exception stack overflow
-54 message: floating-point underflow
-55 message: floating-point unidentified fault
-56 message: QUIT
-57 message: exception in sending or receiving a character
-58 message: [IF], [ELSE], or [THEN] exception
-59 message: ALLOCATE
-60 message: FREE
-61 message: RESIZE
-62 message: CLOSE-FILE
-63 message: CREATE-FILE
-64 message: DELETE-FILE
-65 message: FILE-POSITION
-66 message: FILE-SIZE
-67 message: FILE-STATUS
-68 message: FLUSH-FILE
-69 message: OPEN-FILE
-70 message: READ-FILE
-71 message: READ-LINE
-72 message: RENAME-FILE
-73 message: REPOSITION-FILE
-74 message: RESIZE-FILE
-75 message: WRITE-FILE
-76 message: WRITE-LINE
-77 message: malformed xchar
-78 message: SUBSTITUTE
-79 message: REPLACES
-256 message: input sources nested too deeply
-257 message: locals stack overflow
-258 message: too many locals
-259 message: line too long
\ Host error numbers
1   message: invalid function
2   message: file not found
3   message: path not found
4   message: too many open files
5   message: access denied
6   message: invalid handle
8   message: not enough memory
13  message: invalid data
15  message: invalid drive
19  message: write protected
21  message: device not ready
25  message: seek error
29  message: write fault
30  message: read fault
32  message: file in use
33  message: file locked
38  message: end of file
39  message: disk full
80  message: file exists
87  message: invalid parameter
112 message: disk full
123 message: invalid file name
145 message: directory not empty
183 message: file exists
206 message: file name too long
267 message: not a directory
$7F07 message: no host memory
0 ,

: message  ( n -- c-addr u true | false )
  messages begin dup @ while
    2dup @ = if nip cell+ count true exit then
    cell+ count + aligned
  repeat 2drop false ;

: .throw-message  ( n -- )
  dup message if type drop exit then  ." error " (.) type ;
' .throw-message is .message
