package Calvoria::Extract::Tree;

# Builds a document tree from the tokens, repairing markup roughly the way
# browsers do: implied end tags (p, li, dd, td, ...), end tags that close what
# was left open, stray end tags ignored, table and list scopes respected.
#
# The tree is kept as parallel arrays indexed by node number, not as objects
# pointing at each other, so there are no reference cycles to leak in a long-
# lived interpreter and walks need no recursion. Nodes are numbered in document
# order (each node after its parent and its earlier siblings), so the subtree
# of node $i is exactly the numbers $i .. $end[$i], and its children are
# $i + 1, then each next one just after the end of the one before (children()).
#
#   tag[$i]     element name in lower case, '#text' for text, '#root' for node 0
#   parent[$i]  parent node (-1 for the root)
#   attr[$i]    hash ref of attributes, or undef
#   text[$i]    the text of a text node
#   end[$i]     last node of the subtree
#   title       text of the first <title>
#   meta        { name or property (lower case) => content } of the <meta> tags
#
# Elements nested deeper than $MAX_DEPTH are attached to the deepest open
# element as if they were empty, which keeps every walk over the open elements
# short however the page is nested. A page of more than $MAX_NODES nodes is read
# only that far: real articles have a few thousand, and the limit bounds the
# time spent on a monster page (to a second or two).

use v5.36;
use Calvoria::Extract::Tokenizer;

my $MAX_DEPTH = 400;
my $MAX_NODES = 120_000;

sub set_of { return { map { $_ => 1 } @_ } }

my $VOID = set_of(qw(area base basefont bgsound br col embed frame hr image img input
  keygen link meta param source track wbr));
my $CLOSES_P = set_of(qw(address article aside blockquote center details dialog dir
  div dl fieldset figcaption figure footer form h1 h2 h3 h4 h5 h6 header hgroup hr
  main menu nav ol p pre section summary table ul li dd dt listing xmp plaintext));
# Elements that stop the search for an open element an end tag could close.
my $SPECIAL = set_of(qw(address applet area article aside base basefont bgsound
  blockquote body br button caption center col colgroup dd details dir div dl dt
  embed fieldset figcaption figure footer form frame frameset h1 h2 h3 h4 h5 h6
  head header hgroup hr html iframe img input keygen li link listing main marquee
  menu meta nav noembed noframes noscript object ol p param plaintext pre script
  section select source style summary table tbody td template textarea tfoot th
  thead title tr track ul wbr xmp svg math));
my $SCOPE        = set_of(qw(applet caption html table td th marquee object template svg math));
my $BUTTON_SCOPE = set_of(keys %$SCOPE, 'button');
my $LIST_SCOPE   = set_of(keys %$SCOPE, 'ol', 'ul');
my $TABLE_SCOPE  = set_of(qw(html table template));
my $HEADING      = set_of(qw(h1 h2 h3 h4 h5 h6));
my $CELL         = set_of(qw(td th));
my $SECTION_ROW  = set_of(qw(tbody thead tfoot));
my $DD_DT        = set_of(qw(dd dt));
my $BLOCK_END = set_of(qw(address article aside blockquote button center details
  dialog dir div dl fieldset figcaption figure footer form header hgroup listing
  main menu nav ol pre section summary ul applet marquee object select));
# { name => 1 } for the names searched for alone.
my %ONE = map { $_ => { $_ => 1 } } qw(p li tr), keys %$DD_DT, keys %$BLOCK_END,
  qw(table td th tbody thead tfoot caption colgroup);

# HTML elements that end an <svg> or <math> they appear in.
my $BREAKOUT = set_of(qw(b big blockquote body br center code dd div dl dt em embed
  h1 h2 h3 h4 h5 h6 head hr i img li listing menu meta nobr ol p pre ruby s small
  span strong strike sub sup table tt u ul var));

# Parses $$html_ref (a character string) into a tree (hash ref, see above).
sub build ($html_ref) {
  my $bytes = $$html_ref;
  utf8::encode($bytes);
  my (@tag, @parent, @attr, @text);
  my @last;                 # last child of each element so far
  my %meta;
  my $title;
  @tag = ('#root');
  @parent = (-1);

  my @stack = (0);          # open elements
  my @stag = ('#root');     # their names
  my %open;                 # name => how many are open
  my @foreign;              # stack indexes of open <svg>/<math>
  my $version = 0;          # changes whenever @stack does (memo below)
  my %memo;                 # scope searches: key => [version, result]

  my $add = sub ($name, $attrs, $push) {
    my $id = @tag;
    my $cur = $stack[-1];
    push @tag, $name;
    push @parent, $cur;
    $attr[$id] = $attrs if $attrs && %$attrs;
    $last[$cur] = $id;
    if ($push && @stack < $MAX_DEPTH) {
      push @foreign, scalar @stack if $name eq 'svg' || $name eq 'math';
      push @stack, $id;
      push @stag, $name;
      $open{$name}++;
      $version++;
    }
    return $id;
  };
  my $pop_to = sub ($index) {             # closes the open elements from $index up
    while (@stack > $index) {
      pop @stack;
      $open{ pop @stag }--;
    }
    pop @foreign while @foreign && $foreign[-1] >= $index;
    $version++;
  };
  # Stack index of the innermost open element named in $want, searching no
  # deeper than the first element in $boundary; -1 when there is none.
  my $find = sub ($key, $want, $boundary) {
    return -1 unless grep { $open{$_} } keys %$want;
    my $m = $memo{$key};
    return $m->[1] if $m && $m->[0] == $version;
    my $found = -1;
    for (my $i = $#stag; $i > 0; $i--) {
      my $t = $stag[$i];
      if ($want->{$t}) { $found = $i; last }
      last if $boundary->{$t};
    }
    $memo{$key} = [$version, $found];
    return $found;
  };
  # text of the raw text element $el, just added (so the next number is free)
  my $add_raw = sub ($el, $t) {
    return if $t eq '';
    my $id = @tag;
    push @tag, '#text';
    push @parent, $el;
    $text[$id] = $t;
    $last[$el] = $id;
  };
  my $add_text = sub ($t) {
    my $cur = $stack[-1];
    my $l = $last[$cur];
    if (defined $l && $tag[$l] eq '#text') {
      $text[$l] .= $t;
      return;
    }
    my $id = @tag;
    push @tag, '#text';
    push @parent, $cur;
    $text[$id] = $t;
    $last[$cur] = $id;
  };

  my $tokens = Calvoria::Extract::Tokenizer->new(\$bytes);
  while (my ($type, $name, $attrs, $self_closing, $raw) = $tokens->next_token) {
    last if @tag > $MAX_NODES;
    if ($type == Calvoria::Extract::Tokenizer::T_TEXT) {
      $add_text->($name);
      next;
    }
    if ($type == Calvoria::Extract::Tokenizer::T_START) {
      if (@foreign) {
        if ($BREAKOUT->{$name}) {
          $pop_to->($foreign[0]);
        } else {
          my $id = $add->($name, $attrs, !$self_closing && !defined $raw);
          $add_raw->($id, $raw) if defined $raw;
          next;
        }
      }
      next if $name eq 'html' || $name eq 'head' || $name eq 'body' || $name eq 'frameset';
      $name = 'img' if $name eq 'image';
      if (defined $raw) {
        my $id = $add->($name, $attrs, 0);
        $add_raw->($id, $raw);
        $title = $raw if $name eq 'title' && !defined $title;
        next;
      }
      if ($name eq 'meta') {
        my $key = lc($attrs->{property} // $attrs->{name} // $attrs->{itemprop} // '');
        $meta{$key} //= $attrs->{content} if $key ne '' && defined $attrs->{content};
      }
      if ($CLOSES_P->{$name} && $open{p}) {
        my $i = $find->('p', $ONE{p}, $BUTTON_SCOPE);
        $pop_to->($i) if $i >= 0;
      }
      if ($name eq 'li' || $name eq 'dd' || $name eq 'dt') {
        # an open item of the same list ends here
        my $same = $name eq 'li' ? $ONE{li} : $DD_DT;
        for (my $i = $#stag; $i > 0; $i--) {
          my $t = $stag[$i];
          if ($same->{$t}) { $pop_to->($i); last }
          last if $SPECIAL->{$t} && $t ne 'address' && $t ne 'div' && $t ne 'p';
        }
      } elsif ($HEADING->{$name}) {
        $pop_to->($#stack) if $HEADING->{ $stag[-1] };
      } elsif ($name eq 'a' && $open{a}) {
        # links do not nest: a new one ends the open one
        for (my $i = $#stag; $i > 0; $i--) {
          my $t = $stag[$i];
          if ($t eq 'a') { $pop_to->($i); last }
          last if $SPECIAL->{$t};
        }
      } elsif ($CELL->{$name}) {
        my $i = $find->('cell', $CELL, $TABLE_SCOPE);
        $pop_to->($i) if $i >= 0;
      } elsif ($name eq 'tr') {
        my $i = $find->('tr', $ONE{tr}, $TABLE_SCOPE);
        $pop_to->($i) if $i >= 0;
      } elsif ($SECTION_ROW->{$name}) {
        my $i = $find->('rows', $SECTION_ROW, $TABLE_SCOPE);
        $pop_to->($i) if $i >= 0;
      } elsif ($name eq 'option' || $name eq 'optgroup') {
        $pop_to->($#stack) if $stag[-1] eq 'option';
      } elsif ($name eq 'form' && $open{form}) {
        next;                                   # forms do not nest
      }
      $add->($name, $attrs, !$VOID->{$name});
      next;
    }

    # end tag; most often it closes the current element
    if ($stag[-1] eq $name) {
      $pop_to->($#stack);
      next;
    }
    if (@foreign) {
      for (my $i = $#stag; $i >= $foreign[0]; $i--) {
        if ($stag[$i] eq $name) { $pop_to->($i); last }
      }
      next;
    }
    next if $name eq 'html' || $name eq 'body' || $name eq 'head';
    if ($name eq 'br') {
      $add->('br', undef, 0);
    } elsif ($name eq 'p') {
      my $i = $find->('p', $ONE{p}, $BUTTON_SCOPE);
      if ($i >= 0) { $pop_to->($i) } else { $add->('p', undef, 0) }
    } elsif ($name eq 'li') {
      my $i = $find->('li/', $ONE{li}, $LIST_SCOPE);
      $pop_to->($i) if $i >= 0;
    } elsif ($DD_DT->{$name}) {
      my $i = $find->("$name/", $ONE{$name}, $SCOPE);
      $pop_to->($i) if $i >= 0;
    } elsif ($HEADING->{$name}) {
      my $i = $find->('h/', $HEADING, $SCOPE);
      $pop_to->($i) if $i >= 0;
    } elsif ($BLOCK_END->{$name}) {
      my $i = $find->("$name/", $ONE{$name}, $SCOPE);
      $pop_to->($i) if $i >= 0;
    } elsif ($name eq 'table' || $CELL->{$name} || $SECTION_ROW->{$name}
             || $name eq 'tr' || $name eq 'caption' || $name eq 'colgroup') {
      my $i = $find->("$name/", $ONE{$name}, $TABLE_SCOPE);
      $pop_to->($i) if $i >= 0;
    } else {
      # inline and unknown elements: closed only if no block stands in between
      next unless $open{$name};
      my $m = $memo{"$name/"};
      next if $m && $m->[0] == $version;
      for (my $i = $#stag; $i > 0; $i--) {
        my $t = $stag[$i];
        if ($t eq $name) { $pop_to->($i); last }
        if ($SPECIAL->{$t}) { $memo{"$name/"} = [$version, -1]; last }
      }
    }
  }

  # last node of each subtree: children come after their parents
  my @end = (0 .. $#tag);
  for (my $i = $#tag; $i > 0; $i--) {
    my $p = $parent[$i];
    $end[$p] = $end[$i] if $end[$i] > $end[$p];
  }
  return {
    tag => \@tag, parent => \@parent, attr => \@attr,
    text => \@text, end => \@end, title => $title // '', meta => \%meta,
  };
}

# The children of node $i.
sub children ($doc, $i) {
  my $end = $doc->{end};
  my @kids;
  for (my $c = $i + 1; $c <= $end->[$i]; $c = $end->[$c] + 1) {
    push @kids, $c;
  }
  return @kids;
}

1;
