# Palvane 32 in irssi: look up, add and annotate the people you chat with in the address book,
# and see a known nick's local time and notes at the end of a /whois.
#
#   /palvane NICK               the contact (case ignored; else the nearest nick)
#   /palvane add NICK           a new contact: the real name from the last /whois of the nick
#                               (one is asked for when there was none) and a dated note line
#                               with the user@host it was seen as
#   /palvane note NICK TEXT     a dated line at the end of the contact's notes
#   /palvane tz NICK HOURS      the contact's offset from your local time (-24 to 24)
#
# Install: copy this file to ~/.irssi/scripts/ and /script load palvane.pl (or into
# ~/.irssi/scripts/autorun/ to load it at start).
#
# Settings (/set palvane_...):
#   palvane_command  the table tool; empty: palvane-table found on PATH
#   palvane_table    the contact table; empty: the table tool's default, the address book's
#
# Everything the lines say is made by the table tool, which runs in the background (never
# through a shell) so that irssi never waits for it.

use strict;
use warnings;

use File::Temp qw(tempfile);
use POSIX ();

use Irssi;

our $VERSION = '1.3';
our %IRSSI = (
    authors     => 'Palvane 32 developers',
    name        => 'palvane',
    description => 'The Palvane 32 address book: /palvane NICK, add, note, tz, and on /whois',
    license     => 'Proprietary',
);

my $USAGE = 'usage: /palvane NICK | add NICK | note NICK TEXT | tz NICK HOURS';
my $TIMEOUT_MS = 30000;

# Running tool processes by pid: output and error files, where to print, what to do then.
my %running;
# The last /whois reply seen for a nick: "tag\0lower-case nick" -> [user@host, real name].
my %whois_seen;
# Adds that wait for the /whois they asked for: "tag\0lower-case nick" -> [window, nick].
my %adds_waiting;
# Nicks of the book for completion, refreshed in the background.
my @book_nicks;

sub say {
    my ($window, $text) = @_;
    $text =~ s/%/%%/g;    # irssi would read a % as a colour
    $text = "palvane: $text";
    if ($window) {
        $window->print($text, MSGLEVEL_CLIENTCRAP);
    } else {
        Irssi::print($text, MSGLEVEL_CLIENTCRAP);
    }
}

# A path as typed in a setting: "~/" is the home folder.
sub setting_path {
    my $path = Irssi::settings_get_str($_[0]);
    $path =~ s{^~(?=/|$)}{$ENV{HOME}};
    return $path;
}

sub tool_path {
    my $command = setting_path('palvane_command');
    if ($command ne '') {
        return -x $command && !-d $command ? $command : undef;
    }
    # The folders of PATH in order; an empty entry means the current folder.
    for my $dir (split /:/, ($ENV{PATH} // ''), -1) {
        my $path = ($dir eq '' ? '.' : $dir) . '/palvane-table';
        return $path if -x $path && !-d $path;
    }
    return undef;
}

sub table_arguments {
    my $table = setting_path('palvane_table');
    return $table ne '' ? ('--table', $table) : ();
}

sub key_of {
    my ($server, $nick) = @_;
    return ($server ? $server->{tag} : '') . "\0" . lc($nick);
}

# Runs the table tool with the arguments (each one argument, never through a shell); calls
# $on_done->($window, @out_lines) when it succeeded, else shows its error unless quiet; and
# $ended->() in any case.
sub run_tool {
    my ($arguments, $window, $on_done, $quiet, $ended) = @_;
    my $tool = tool_path();
    if (!defined $tool) {
        $ended->() if $ended;
        my $command = Irssi::settings_get_str('palvane_command');
        say($window, 'cannot find the table tool '
            . ($command ne '' ? $command : 'palvane-table on PATH')
            . '; /set palvane_command PATH') unless $quiet;
        return;
    }
    # Files rather than pipes: a long answer cannot fill a pipe while nobody reads it.
    my ($out, $out_name) = tempfile(UNLINK => 1);
    my ($err, $err_name) = tempfile(UNLINK => 1);
    my $pid = fork();
    if (!defined $pid) {
        say($window, "cannot run the table tool $tool: $!") unless $quiet;
        $ended->() if $ended;
        return;
    }
    if ($pid == 0) {
        open(STDIN, '<', '/dev/null');
        open(STDOUT, '>&', $out);
        open(STDERR, '>&', $err);
        { no warnings 'exec'; exec { $tool } $tool, @$arguments; }
        POSIX::_exit(127);
    }
    Irssi::pidwait_add($pid);
    $running{$pid} = {
        out => $out, out_name => $out_name, err => $err, err_name => $err_name,
        window => $window, on_done => $on_done, quiet => $quiet, ended => $ended,
    };
    $running{$pid}{timeout} = Irssi::timeout_add_once($TIMEOUT_MS, sub {
        my $job = $running{$pid} or return;
        delete $job->{timeout};
        kill 'KILL', $pid;
    }, undef);
}

sub read_lines {
    my ($handle, $name) = @_;
    my @lines;
    if (open(my $in, '<:encoding(UTF-8)', $name)) {
        @lines = map { s/\r?\n\z//r } <$in>;
        close($in);
    }
    close($handle);
    unlink($name);
    return @lines;
}

sub tool_ended {
    my ($pid, $status) = @_;
    my $job = delete $running{$pid} or return;
    Irssi::timeout_remove($job->{timeout}) if $job->{timeout};
    $job->{ended}->() if $job->{ended};
    my @out = read_lines($job->{out}, $job->{out_name});
    my @err = read_lines($job->{err}, $job->{err_name});
    if ($status == 0) {
        say($job->{window}, $_) for @err;    # warnings
        $job->{on_done}->($job->{window}, @out);
    } elsif (!$job->{quiet}) {
        @err = ('the table tool failed (' . ($status >> 8) . ')') unless @err;
        say($job->{window}, $_) for @err;
    }
}

sub print_lines {
    my ($window, @lines) = @_;
    say($window, $_) for @lines;
}

sub changed {
    print_lines(@_);
    refresh_nicks();
}

my ($refreshing, $refresh_again) = (0, 0);

# One refresh at a time, so that a held-down Tab does not start a crowd of them; one asked for
# meanwhile runs after it, as the book may have changed since it began.
sub refresh_nicks {
    if ($refreshing) {
        $refresh_again = 1;
        return;
    }
    $refreshing = 1;
    run_tool(['nicks', table_arguments()], undef, sub { shift; @book_nicks = @_ }, 1, sub {
        $refreshing = 0;
        if ($refresh_again) {
            $refresh_again = 0;
            refresh_nicks();
        }
    });
}

sub add {
    my ($window, $server, $nick) = @_;
    my @arguments = ('add', table_arguments());
    if (my $seen = $whois_seen{key_of($server, $nick)}) {
        my ($address, $realname) = @$seen;
        push @arguments, "--name=$realname" if $realname ne '';
        push @arguments, "--append-notes=$address", '--dated';
    } else {
        say($window, "no /whois reply for $nick: adding the nick alone");
    }
    run_tool([@arguments, '--', $nick], $window, \&changed);
}

sub palvane_command {
    my ($args, $server, $witem) = @_;
    my $window = Irssi::active_win();
    my @words = split(' ', $args);
    if (@words == 1 && $words[0] !~ /^(?:add|note|tz)$/) {
        run_tool(['show', '--format', 'chat', table_arguments(), '--', $words[0]], $window,
                 \&print_lines);
    } elsif (@words == 2 && $words[0] eq 'add') {
        my $nick = $words[1];
        if ($whois_seen{key_of($server, $nick)} || !$server || !$server->{connected}) {
            add($window, $server, $nick);
        } else {
            # Ask the network who it is; the add goes on at the end of the reply.
            $adds_waiting{key_of($server, $nick)} = [$window, $nick];
            $server->send_raw("WHOIS $nick");
        }
    } elsif (@words >= 3 && $words[0] eq 'note') {
        my (undef, undef, $text) = split(' ', $args, 3);
        run_tool(['set', "--append-notes=$text", '--dated', table_arguments(), '--', $words[1]],
                 $window, \&changed);
    } elsif (@words == 3 && $words[0] eq 'tz') {
        run_tool(['set', "--offset=$words[2]", table_arguments(), '--', $words[1]], $window,
                 \&changed);
    } else {
        say($window, $USAGE);
    }
}

sub whois_user {
    # "me nick user host * :real name"
    my ($server, $data) = @_;
    my ($nick, $user, $host, $realname) = $data =~ /^\S+ (\S+) (\S+) (\S+) \S+ :?(.*)$/
        or return;
    $whois_seen{key_of($server, $nick)} = ["$user\@$host", $realname];
}

sub end_of_whois {
    # "me nick :End of /WHOIS list."
    my ($server, $data) = @_;
    my ($nick) = $data =~ /^\S+ (\S+)/ or return;
    if (my $waiting = delete $adds_waiting{key_of($server, $nick)}) {
        add($waiting->[0], $server, $waiting->[1]);
    }
    my $window = $server->window_find_closest($nick, MSGLEVEL_CRAP) // Irssi::active_win();
    run_tool(['show', '--format', 'whois', table_arguments(), '--', $nick], $window,
             \&print_lines, 1);
}

sub complete_word {
    my ($complist, $window, $word, $linestart, $want_space) = @_;
    my $chars = quotemeta(Irssi::settings_get_str('cmdchars'));
    return unless $linestart =~ /^[$chars]palvane(?:\s+(note|tz))?\s*$/i;
    my @words = $1 ? () : grep { index($_, lc $word) == 0 } qw(add note tz);
    push @words, grep { index(lc $_, lc $word) == 0 } @book_nicks;
    push @$complist, @words;
}

Irssi::settings_add_str('palvane', 'palvane_command', '');
Irssi::settings_add_str('palvane', 'palvane_table', '');
Irssi::command_bind('palvane', \&palvane_command);
Irssi::signal_add('event 311', \&whois_user);
Irssi::signal_add('event 318', \&end_of_whois);
Irssi::signal_add('pidwait', \&tool_ended);
Irssi::signal_add_first('complete word', \&complete_word);
refresh_nicks();
