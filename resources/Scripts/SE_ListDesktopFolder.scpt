-- SE_ListDesktopFolder: lists the items of the desktop folder, one name to a
-- line. An example module that the framework copies into the user's Modules
-- folder on request.
on run
	set desktopFolder to path to desktop folder
	set itemNames to list folder desktopFolder without invisibles
	set text item delimiters to linefeed
	set listing to itemNames as text
	set text item delimiters to ""
	return listing
end run
