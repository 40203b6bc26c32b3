#!/usr/bin/perl
# Prints each string literal of the C++ files named (comments skipped,
# adjacent literals joined), one per line as "file:line<TAB>text".
use strict; use warnings;
for my $file (@ARGV) {
    open(my $fh, '<', $file) or die "$file: $!";
    local $/; my $src = <$fh>; close $fh;
    my ($i, $n, $line) = (0, length $src, 1);
    my ($cur, $curLine, $gap) = (undef, 0, 0);
    my $flush = sub { print "$file:$curLine\t$cur\n" if defined $cur; $cur = undef; };
    while ($i < $n) {
        my $c = substr($src, $i, 1);
        if ($c eq "\n") { $line++; $i++; next; }
        if (substr($src, $i, 2) eq '//') { my $e = index($src, "\n", $i); $e = $n if $e < 0; $i = $e; next; }
        if (substr($src, $i, 2) eq '/*') { my $e = index($src, '*/', $i + 2); $e = $n - 2 if $e < 0;
            $line += () = substr($src, $i, $e + 2 - $i) =~ /\n/g; $i = $e + 2; next; }
        if ($c eq "'") { # character literal
            my $j = $i + 1; $j++ while $j < $n && substr($src, $j, 1) ne "'" && ($j += (substr($src, $j, 1) eq '\\')) < $n; $i = $j + 1; next; }
        if ($c eq '"') {
            my $j = $i + 1; my $text = '';
            while ($j < $n) { my $d = substr($src, $j, 1);
                if ($d eq '\\') { $text .= substr($src, $j, 2); $j += 2; next; }
                last if $d eq '"'; $text .= $d; $j++; }
            if (defined $cur) { $cur .= $text; } else { $cur = $text; $curLine = $line; }
            $i = $j + 1; next;
        }
        if ($c =~ /\s/) { $i++; next; }
        $flush->(); $i++;
    }
    $flush->();
}
