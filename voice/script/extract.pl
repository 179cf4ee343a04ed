# Article text extraction, run by the voice converter for every page it speaks.
#
# In:  $main::input_stream   the page, a character string
# Out: $main::output_stream  the text to speak, UTF-8 bytes
# Dies with a message when the page has no text to speak.
# With $main::extract_explain set (calvoria-tool extract --explain), the choices
# made are told on standard error.
#
# The interpreter is reused for many pages: no state is kept in package
# variables, and the modules (from the include folder) are loaded only once.

use v5.36;
use Calvoria::Extract;

{
  $main::output_stream = undef;
  my $text = Calvoria::Extract::article_text($main::input_stream // '',
    explain => $main::extract_explain);
  die "No readable text in the page.\n" if $text eq '';
  utf8::encode($text);
  $main::output_stream = $text;
}
