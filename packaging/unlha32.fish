# Fish completion for unlha32: the command, the switches, archives (and
# folders) for the archive, and after it the archive's member names for the
# commands that select members, or files and folders for u, a, m, f and c.
# Installed under fish/vendor_completions.d/.

# The line's state before the word completed, a line each: the command
# (lower case), the archive, the base folder, and "after" when the word
# completed comes right after the archive.
function __unlha32_state
    set -l words (commandline -opc)
    set -e words[1]
    set -l command
    set -l archive
    set -l base
    set -l after
    set -l ended
    set -l skip
    for word in $words
        if test -n "$skip"
            set skip
        else if test -z "$command"
            set command (string lower -- $word)
        else if test -z "$ended" -a "$word" = --
            set ended 1
        else if test -z "$ended"; and string match -q -- '-*' $word
            # "--threads 2" and "--exclude '*.o'": the value is the next word.
            contains -- $word --threads --exclude; and set skip 1
        else if test -z "$archive"
            set archive $word
            set after 1
        else if test -n "$after"
            # u, a, m, f and c take names below a base folder given first.
            string match -q -- '*/' $word; and set base $word
            set after
        end
    end
    printf '%s\n' "$command" "$archive" "$base" "$after"
end

function __unlha32_needs_command
    set -l state (__unlha32_state)
    test -z "$state[1]"
end

# True while the archive is still to come; $argv: commands it applies to.
function __unlha32_wants_archive
    set -l state (__unlha32_state)
    test -n "$state[1]" -a -z "$state[2]"; and string match -qr -- "^[$argv]\$" $state[1]
end

# True once the archive is given; $argv: commands it applies to.
function __unlha32_after_archive
    set -l state (__unlha32_state)
    test -n "$state[2]"; and string match -qr -- "^[$argv]\$" $state[1]
end

# Archives that exist, first pieces and self-extracting ones, and folders.
function __unlha32_archives
    set -l token (commandline -ct)
    for name in (__fish_complete_path $token | string replace -r '\t.*' '')
        if string match -q -- '*/' $name; or string match -qir -- '\.(lzh|lha|lzs|001|exe|com)$' $name
            echo $name
        end
    end
end

# Files below the base folder, named as the tool takes them; any file without one.
function __unlha32_files
    set -l state (__unlha32_state)
    set -l token (commandline -ct)
    if test -z "$state[3]"
        __fish_complete_path $token
        return
    end
    set -l base (string replace -r '^~/' "$HOME/" -- $state[3])
    for name in (__fish_complete_path $base$token)
        string replace -- $base '' $name
    end
end

# The archive's member names, each "ORIGINAL PACKED RATIO METHOD DATE TIME
# LEVEL NAME" between two lines of heading and two of totals. The tool
# takes * ? [ ] and \ in a name for wildcards and escapes: each goes to it
# escaped, so that the name selects its member alone. Right after the
# archive, x and e also take a destination folder.
function __unlha32_members
    set -l state (__unlha32_state)
    set -l archive (string replace -r '^~/' "$HOME/" -- $state[2])
    # A file, or the pieces of a split archive (a pipe would wait for a writer).
    test -f "$archive"; or begin
        not test -e "$archive"; and test -f "$archive.001"
    end; or return
    set -l lines (unlha32 l -q -- $archive 2>/dev/null); or return
    set -l n (count $lines)
    test $n -gt 4; or return
    for line in $lines[3..(math $n - 2)]
        # A name that starts with "-" would be read as a switch: ./ selects it.
        string replace -r '^.*? L[0-9] ' '' -- $line | string replace -ra '([\\\\*?\[\]])' '\\\\$1' |
            string replace -r '^-' './-'
    end
    if test -n "$state[4]"; and string match -qr -- '^[xe]$' $state[1]
        __fish_complete_directories (commandline -ct) 'destination folder'
    end
end

complete -c unlha32 -f
complete -c unlha32 -n __unlha32_needs_command -a u -d 'update: add new files, replace older members'
complete -c unlha32 -n __unlha32_needs_command -a a -d 'add: add files, replace members whatever their dates'
complete -c unlha32 -n __unlha32_needs_command -a m -d 'move: add, then remove the files packed'
complete -c unlha32 -n __unlha32_needs_command -a f -d 'freshen: replace older members only'
complete -c unlha32 -n __unlha32_needs_command -a c -d 'create a new archive of the files'
complete -c unlha32 -n __unlha32_needs_command -a d -d 'delete members'
complete -c unlha32 -n __unlha32_needs_command -a l -d 'list the members'
complete -c unlha32 -n __unlha32_needs_command -a v -d 'list with CRC, system and permissions'
complete -c unlha32 -n __unlha32_needs_command -a t -d 'test the members'
complete -c unlha32 -n __unlha32_needs_command -a x -d 'extract with paths'
complete -c unlha32 -n __unlha32_needs_command -a e -d 'extract without paths'
complete -c unlha32 -n __unlha32_needs_command -a p -d 'print the members to standard output'
complete -c unlha32 -n __unlha32_needs_command -l help -d 'usage'
complete -c unlha32 -n __unlha32_needs_command -l version -d 'version'

set -l has_command 'not __unlha32_needs_command'
complete -c unlha32 -n $has_command -o a1 -d 'take dot-files when walking folders'
complete -c unlha32 -n $has_command -o r2 -d 'walk the folders named'
complete -c unlha32 -n $has_command -o x1 -d 'store paths relative to the base folder'
complete -c unlha32 -n $has_command -o jm5 -d 'method -lh5- (default)'
complete -c unlha32 -n $has_command -o jm6 -d 'method -lh6-'
complete -c unlha32 -n $has_command -o jm7 -d 'method -lh7-'
complete -c unlha32 -n $has_command -o jo1 -d 'smallest output, a few times slower'
complete -c unlha32 -n $has_command -o c1 -d 'overwrite existing files without comparing dates'
complete -c unlha32 -n $has_command -s q -d 'quiet'
complete -c unlha32 -n $has_command -l threads -x -a '(seq 1 (getconf _NPROCESSORS_ONLN 2>/dev/null; or echo 1))' -d 'threads'
complete -c unlha32 -n $has_command -l exclude -x -d 'leave out what PATTERN matches'
complete -c unlha32 -n $has_command -l null -d 'LIST files end each name with a NUL byte'

# u, a, m and c may name a new archive: any file.
complete -c unlha32 -n '__unlha32_wants_archive uamc' -a '(__fish_complete_path (commandline -ct))'
complete -c unlha32 -n '__unlha32_wants_archive fdlvtxep' -a '(__unlha32_archives)'
complete -c unlha32 -n '__unlha32_after_archive uamfc' -a '(__unlha32_files)'
complete -c unlha32 -n '__unlha32_after_archive dlvtxep' -a '(__unlha32_members)' -d member
